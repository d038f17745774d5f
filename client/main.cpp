// VelnorClient entry point. The window arrives with the desktop client.
int main() { return 0; }
