; Vexarond's installer. makensis gets VERSION (x.y.z), STAGE (the folder of files to install,
; with install_files.nsh and uninstall_files.nsh listing them), ICON and OUTFILE from
; packaging/make-packages.sh.
;
; It installs for the current user, without administrator rights, into
; %LOCALAPPDATA%\Programs\Vexarond, and registers under HKCU. Its pages are Japanese on a Japanese
; system and English on any other.

; A 64-bit installer for 64-bit programs: it also runs where Wine has no 32-bit support.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vexarond"
!define SHORTCUTS "$SMPROGRAMS\Vexarond"
!define PROGRAM_SHORTCUT "Vexarond.lnk"
!define UNINSTALL_SHORTCUT "Uninstall Vexarond.lnk"

Name "Vexarond ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Vexarond"
; An upgrade goes where the earlier version is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
BrandingText "Vexarond ${VERSION}"
ShowUninstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vexarond.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one a system whose language is neither gets.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Vexarond"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Vexarond ${VERSION} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"

; An earlier install is removed by its own uninstaller first, so that an upgrade leaves exactly
; the new version's files and one entry in the list of installed programs. `_?=` runs the
; uninstaller in place and waits for it.
Function RemovePrevious
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Uninstall.exe"
    DetailPrint "Vexarond: $0"
    ExecWait '"$0\Uninstall.exe" /S _?=$0'
    Delete "$0\Uninstall.exe"
    RMDir "$0"
  ${EndIf}
FunctionEnd

Section "Vexarond"
  SectionIn RO
  Call RemovePrevious
  SetOutPath "$INSTDIR"
  !include "${STAGE}\install_files.nsh"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "${SHORTCUTS}"
  CreateShortcut "${SHORTCUTS}\${PROGRAM_SHORTCUT}" "$INSTDIR\Vexarond.exe"
  CreateShortcut "${SHORTCUTS}\${UNINSTALL_SHORTCUT}" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Vexarond"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "the Vexarond developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vexarond.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Only what the installer put there goes: the listed files, the shortcuts and the entry. The
; folders are removed only when empty, so a picture the user saved in them stays.
Section "Uninstall"
  !include "${STAGE}\uninstall_files.nsh"
  ; Started from the install folder, the uninstaller hands over to a copy of itself in the
  ; temporary folder and ends; on a busy machine it may still be ending here, so try a while.
  StrCpy $0 0
  ${Do}
    Delete "$INSTDIR\Uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\Uninstall.exe"
    ${OrIf} $0 >= 100
      ${Break}
    ${EndIf}
    IntOp $0 $0 + 1
    Sleep 100
  ${Loop}
  RMDir "$INSTDIR"
  Delete "${SHORTCUTS}\${PROGRAM_SHORTCUT}"
  Delete "${SHORTCUTS}\${UNINSTALL_SHORTCUT}"
  RMDir "${SHORTCUTS}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
