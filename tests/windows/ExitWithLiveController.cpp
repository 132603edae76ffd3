// A robot program that ends without destroying its controller: creates one, lets its heartbeat
// run for the milliseconds given as the argument, and returns from main.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "halvern/Ordex.h"

int main(int argc, char** argv) {
  const long runFor = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (c_Ordex_create(5, 1000) == 0) {
    return 2;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(runFor));
  std::puts("leaving with the controller alive");
  return 0;
}
