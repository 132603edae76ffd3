// A robot program's desktop simulation with the vendordep's simulated devices, built by
// check_vendordep.py from the headers zips and linked against the HalvernDriver-sim zip's
// libHalvernDriverSim.a, the library and a HAL. Built with HALVERN_CONSUMER_SIM_ONLY it leaves
// the library out and uses the simulators and the HAL alone. Prints "vendordep sim consumer: OK"
// when the simulated controller shows itself as WPILib's simulation lists devices and, with the
// library, the library reaches it over the HAL's simulated CAN bus. It builds over WPILib 2026's
// headers (and the stand-in's, shaped like them) and over WPILib 2027's, which sit under wpi/hal/:
// the installed SimHal.h includes those of the year the simulators were built for.
#include <cstdio>
#include <cstring>

#include "halvern/sim/SimHal.h"  // the HAL of the year the simulators were built for
#include "halvern/sim/SimOrdex.h"
#ifndef HALVERN_CONSUMER_SIM_ONLY
#include "halvern/Ordex.h"
#endif

int main() {
  int failures = 0;
  auto expect = [&failures](bool ok, const char* what) {
    if (!ok) {
      std::printf("FAILED: %s\n", what);
      ++failures;
    }
  };

  expect(HAL_Initialize(500, 0) != 0, "HAL_Initialize(500, 0) succeeds");
  expect(HALSIM_GetSimDeviceHandle("Ordex[5]") == 0, "no SimDevice Ordex[5] before the simulator");
  {
    halvern::sim::SimOrdex controller(5);
    expect(HALSIM_GetSimDeviceHandle("Ordex[5]") != 0,
           "the simulated controller on device number 5 is the SimDevice Ordex[5]");
#ifndef HALVERN_CONSUMER_SIM_ONLY
    halvern::sim::OrdexIdentity identity;
    identity.firmware = {2, 7, 1};
    controller.setIdentity(identity);
    const int32_t ordex = c_Ordex_create(5, 15000);
    expect(ordex != 0, "c_Ordex_create(5, 15000) succeeds");
    char firmware[64] = {};
    c_Ordex_copyFirmwareVersion(ordex, firmware, sizeof firmware);
    expect(std::strcmp(firmware, "Firmware Version: [2.7.1]") == 0,
           "the library reads the simulated controller's firmware over the simulated CAN bus");
    c_Ordex_destroy(ordex);
#endif
  }
  expect(HALSIM_GetSimDeviceHandle("Ordex[5]") == 0, "the SimDevice goes with the simulator");

  if (failures == 0) {
    std::printf("vendordep sim consumer: OK\n");
  }
  return failures == 0 ? 0 : 1;
}
