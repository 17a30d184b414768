// The start-up floor: a program linked like the launcher that does nothing.
int wmain() {
    return 0;
}
