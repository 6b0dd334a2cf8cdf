// LaunchHelper: the login item that starts the main program.
int main() {
    return 0;
}
