// Choosing a picture through the real open dialog, driven from a timer inside its modal loop.
#include <filesystem>
#include <functional>
#include <string>

#include "imagefiles/frame_file.h"
#include "app/file_commands/texture_loading.h"
#include "window_fixture.h"

#include <dlgs.h> // after windows.h, which it needs

namespace {
constexpr wchar_t kOpenTitle[] = L"Vexarond ファイルを開く";

// The dialog's type box shows this entry (0 JPEG, 1 BMP).
int shownType(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageW(dialog, cmb1, CB_GETCURSEL, 0, 0));
}

void chooseFile(HWND dialog, int typeIndex, const std::wstring& path) {
    SendDlgItemMessageW(dialog, cmb1, CB_SETCURSEL, typeIndex, 0);
    // The type box tells the dialog of the change as a user's choice would.
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, cmb1)));
    SetDlgItemTextW(dialog, edt1, path.c_str());
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

class TextureLoadingTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        steps.clear();
        // The file dialogs make the chosen folder the current one, which cannot then be
        // removed: leave it first.
        std::filesystem::current_path(std::filesystem::temp_directory_path());
        folder = std::filesystem::temp_directory_path() / L"vexarond-texture-test";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        // 3 x 2: a red top row and a blue bottom row.
        std::uint32_t pixels[] = {0xFF0000, 0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF, 0x0000FF};
        // Written under a plain name, then given a Japanese one, as a user's files have; the
        // settings' default is a 24-bit BMP file.
        const std::filesystem::path plain = folder / "flag.bmp";
        ASSERT_TRUE(writeFrame(plain, FrameView{pixels, 3, 2, 3}, FrameFileSettings{}).ok());
        bmp = folder / L"旗.bmp";
        std::filesystem::rename(plain, bmp);
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
        std::filesystem::remove_all(folder, ignored);
    }
    // Runs the command with the steps answering its windows.
    void run(int id) { runWithAnswers(id); }
    std::filesystem::path folder, bmp;
};
} // namespace

TEST_F(TextureLoadingTest, ChosenBmpIsShownOnTheFlagWithItsName) {
    int typeAtOpening = -1;
    steps = {{kOpenTitle, [&](HWND d) {
                  typeAtOpening = shownType(d);
                  chooseFile(d, 1, bmp.wstring());
              }}};
    run(IDM_CHOOSE_PICTURE);
    EXPECT_EQ(typeAtOpening, 0); // JPEG before any picture
    EXPECT_EQ(state().imageFileType, PictureFileType::Bmp);
    EXPECT_EQ(state().filePath, bmp.wstring());
    ASSERT_TRUE(state().core.pictureLoaded());
    EXPECT_EQ(state().core.picture->width, 3);
    EXPECT_EQ(state().core.picture->height, 2);
    // The picture's bottom row, stored first, is the blue one; its top row red.
    EXPECT_EQ(state().core.picture->pixels[0], 255);
    EXPECT_EQ(state().core.picture->pixels[2], 0);
    EXPECT_EQ(state().core.picture->pixels[3 * 4 + 2], 255);
    EXPECT_EQ(state().core.displayMode, DisplayMode::Picture);
    EXPECT_EQ(state().surfaceChoiceButton, IDC_SURFACE_PICTURE);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(state().controlWindow, IDC_SURFACE_PICTURE)));
    EXPECT_EQ(IsDlgButtonChecked(state().controlWindow, IDC_SURFACE_PICTURE), BST_CHECKED);
    wchar_t title[600] = {};
    GetWindowTextW(main, title, 600);
    EXPECT_EQ(std::wstring(title), L"Vexarond4.1.6Jwin [旗.bmp]");
    EXPECT_FALSE(GetMenuState(GetMenu(main), IDM_SHOW_PICTURE, MF_BYCOMMAND) & MF_GRAYED);

    // The next dialog opens on the BMP type with the last name.
    std::wstring nameAtOpening;
    steps = {{kOpenTitle, [&](HWND d) {
                  typeAtOpening = shownType(d);
                  wchar_t name[300] = {};
                  GetDlgItemTextW(d, edt1, name, 300);
                  nameAtOpening = name;
                  PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
              }}};
    run(IDM_CHOOSE_PICTURE);
    EXPECT_EQ(typeAtOpening, 1);
    EXPECT_NE(nameAtOpening.find(L"旗.bmp"), std::wstring::npos);
}

TEST_F(TextureLoadingTest, CancelChangesNothing) {
    steps = {{kOpenTitle, [](HWND d) { PostMessageW(d, WM_COMMAND, IDCANCEL, 0); }}};
    run(IDM_CHOOSE_PICTURE);
    EXPECT_EQ(state().imageFileType, PictureFileType::None);
    EXPECT_TRUE(state().filePath.empty());
    EXPECT_FALSE(state().core.pictureLoaded());
    EXPECT_EQ(state().core.displayMode, DisplayMode::Wireframe);
    wchar_t title[600] = {};
    GetWindowTextW(main, title, 600);
    EXPECT_EQ(std::wstring(title), L"Vexarond4.1.6Jwin");
}

TEST_F(TextureLoadingTest, FailedReadKeepsTheEarlierPictureButNotesTheChoice) {
    steps = {{kOpenTitle, [&](HWND d) { chooseFile(d, 1, bmp.wstring()); }}};
    run(IDM_CHOOSE_PICTURE);
    ASSERT_TRUE(state().core.pictureLoaded());
    const std::vector<std::uint8_t> earlier = state().core.picture->pixels;

    // The BMP file chosen with the JPEG type goes to the JPEG reader, which refuses it.
    const std::filesystem::path disguised = folder / L"not-a-jpeg.jpg";
    std::filesystem::copy_file(bmp, disguised);
    bool told = false;
    steps = {{kOpenTitle, [&](HWND d) { chooseFile(d, 0, disguised.wstring()); }},
             {L"Error", [&](HWND box) {
                  told = true;
                  PostMessageW(box, WM_COMMAND, IDOK, 0);
              }}};
    run(IDM_CHOOSE_PICTURE);
    EXPECT_TRUE(told);
    EXPECT_EQ(state().imageFileType, PictureFileType::Jpeg);
    EXPECT_EQ(state().filePath, disguised.wstring());
    EXPECT_EQ(state().core.picture->pixels, earlier);
    EXPECT_EQ(state().core.picture->width, 3);
}
