#include "app/driver.hpp"
#include "cli/console.hpp"

int main(int argc, char** argv) {
  console_init();
  return run_tonegen(argc, argv);
}
