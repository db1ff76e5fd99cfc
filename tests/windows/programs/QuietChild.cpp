// The smallest application a test can pack: it ends at once with exit code 0.
int main() { return 0; }
