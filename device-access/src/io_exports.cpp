// The exports of registers, commands, data packets and events. Each one
// catches everything: nothing is thrown across the library boundary.
#include "corvel/corvel.h"
#include "data_packets.h"
#include "events.h"
#include "export_guard.h"
#include "registers.h"

using corvel::GuardedStatus;

CORVEL_API int WINAPI LmSetRegister(LmSession session, DWORD reg, DWORD index, const void* data,
                                    DWORD size) {
  return GuardedStatus([&] { return corvel::SetRegister(session, reg, index, data, size); });
}

CORVEL_API int WINAPI LmGetRegister(LmSession session, DWORD reg, DWORD index, void* buffer,
                                    DWORD size) {
  return GuardedStatus([&] { return corvel::GetRegister(session, reg, index, buffer, size); });
}

CORVEL_API int WINAPI LmSendCommand(LmSession session, DWORD command) {
  return GuardedStatus([&] { return corvel::SetRegister(session, command, 0, nullptr, 0); });
}

CORVEL_API int WINAPI LmGetStatus(LmSession session) {
  return GuardedStatus([&] { return corvel::GetStatus(session); });
}

CORVEL_API int WINAPI LmGetDeviceCaps(LmSession session, DWORD reg, DWORD index, void* buffer,
                                      DWORD size) {
  return GuardedStatus([&] { return corvel::GetDeviceCaps(session, reg, index, buffer, size); });
}

CORVEL_API int WINAPI LmWriteData(LmSession session, WORD packetId, const void* data, DWORD size) {
  return GuardedStatus([&] { return corvel::WriteData(session, packetId, data, size); });
}

CORVEL_API int WINAPI LmReadData(LmSession session, WORD packetId, void* buffer, DWORD size) {
  return GuardedStatus([&] { return corvel::ReadData(session, packetId, buffer, size); });
}

CORVEL_API int WINAPI LmHandleEvent(LmSession session, DWORD* eventId, DWORD* lParam,
                                    DWORD* wParam) {
  return GuardedStatus([&] {
    uint32_t id = 0, l = 0, w = 0;
    corvel::Status status = corvel::HandleEvent(session, eventId ? &id : nullptr, &l, &w);
    if (corvel::DeliversEvent(status)) {
      *eventId = id;
      if (lParam) *lParam = l;
      if (wParam) *wParam = w;
    }
    return status;
  });
}

CORVEL_API int WINAPI LmFlushEventQueue(LmSession session) {
  return GuardedStatus([&] { return corvel::FlushEventQueue(session); });
}
