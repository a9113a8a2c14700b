// The process floor of the decoder benchmarks: a program that does nothing,
// linked like zorv (statically where the system allows), so that what a run
// of zorv costs beyond starting and ending a process can be told.
int main() { return 0; }
