// The mock driver station's C face.
#include "core/LibraryState.h"
#include "halvern/MockDS.h"

using halvern::libraryState;

extern "C" {

void c_MockDS_create() { libraryState().mockDS.create(); }

void c_MockDS_enable() { libraryState().mockDS.setEnabled(true); }

void c_MockDS_disable() { libraryState().mockDS.setEnabled(false); }

// The sender keeps going, disabled, until the next create or until the library unloads.
void c_MockDS_destroy() { libraryState().mockDS.setEnabled(false); }

}  // extern "C"
