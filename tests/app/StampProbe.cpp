// Carries only a version stamp; the tests read it back from this file.
int main() {
    return 0;
}
