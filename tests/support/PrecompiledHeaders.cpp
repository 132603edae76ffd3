// An empty program: it owns the suites' precompiled headers (tests/CMakeLists.txt).
int main() {
  return 0;
}
