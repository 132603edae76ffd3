// The bus's registrations with the HAL's CAN callbacks, whose adapters differ by WPILib year.
#pragma once

#include <cstdint>

#include "SimHal.h"

namespace halvern::sim {

class CanBus;

struct CanCallbackIds {
  int32_t send = 0;
  int32_t receive = 0;
  int32_t openStream = 0;
  int32_t readStream = 0;
  int32_t closeStream = 0;
};

/**
 * Registers the callbacks, each turned into a call of `bus`: the year's adapters, in
 * platform/wpilib<year>/CanCallbacks.cpp.
 */
CanCallbackIds registerCanCallbacks(CanBus* bus);

/** Registers one year's adapters; their signatures are the year's, the registration is not. */
template <typename Send, typename Receive, typename OpenStream, typename ReadStream,
          typename CloseStream>
CanCallbackIds registerAdapters(CanBus* bus, Send send, Receive receive, OpenStream openStream,
                                ReadStream readStream, CloseStream closeStream) {
  CanCallbackIds ids;
  ids.send = HALSIM_RegisterCanSendMessageCallback(send, bus);
  ids.receive = HALSIM_RegisterCanReceiveMessageCallback(receive, bus);
  ids.openStream = HALSIM_RegisterCanOpenStreamCallback(openStream, bus);
  ids.readStream = HALSIM_RegisterCanReadStreamCallback(readStream, bus);
  ids.closeStream = HALSIM_RegisterCanCloseStreamCallback(closeStream, bus);
  return ids;
}

inline void cancelCanCallbacks(const CanCallbackIds& ids) {
  HALSIM_CancelCanSendMessageCallback(ids.send);
  HALSIM_CancelCanReceiveMessageCallback(ids.receive);
  HALSIM_CancelCanOpenStreamCallback(ids.openStream);
  HALSIM_CancelCanReadStreamCallback(ids.readStream);
  HALSIM_CancelCanCloseStreamCallback(ids.closeStream);
}

}  // namespace halvern::sim
