// Start-up's floor: a program that does nothing, built and linked as the
// command is, so that timed in turn with the command on an empty file the
// difference is what the command itself adds to a start.
int main() { return 0; }
