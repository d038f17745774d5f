// VelnorSvr entry point. The start-up sequence arrives with the service core.
int main() { return 0; }
