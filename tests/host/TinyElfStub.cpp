// Stands in for the Linux launcher in the packer's tests: the packer copies its stub unchanged and
// reads no more of it than the ELF header, so any executable for x86-64 serves.
int main() { return 0; }
