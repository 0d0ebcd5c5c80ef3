// Linked with one library's objects and the libraries it names; never run.
int main() {
    return 0;
}
