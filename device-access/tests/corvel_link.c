/* A C caller of Corvel linked through corvel.h and the import library, as a
 * program binds it at load time.
 *   corvel_link                      every export resolves; the calls before
 *                                    the start come back as the header says
 *   corvel_link <resource> <file>    opens a session and writes its status
 *                                    word into the file ("LmGetStatus=<n>")
 * Exit code 0 when all went as expected; the number of the first wrong call
 * otherwise. */
#include <stdio.h>
#include <string.h>

#include "corvel/corvel.h"

static int CallsBeforeTheStart(void) {
  /* Every export is referenced, so each one must resolve at link time. */
  const void* exports[] = {
      (const void*)&LmLibInit,       (const void*)&LmLibExit,
      (const void*)&LmGetErrorString, (const void*)&LmFindHostUSB,
      (const void*)&LmFindExtendedUSBHost, (const void*)&LmIsUSBHostDisabled,
      (const void*)&LmDisableUSBHost, (const void*)&LmEnableUSBHost,
      (const void*)&LmFindInstalledDriver, (const void*)&LmInstallDriver,
      (const void*)&LmUninstallDriver, (const void*)&LmUpdateDeviceList,
      (const void*)&LmGetDeviceCount, (const void*)&LmGetDeviceInfo,
      (const void*)&LmOpenDevice,    (const void*)&LmCloseDevice,
      (const void*)&LmSetAttribute,  (const void*)&LmGetAttribute,
      (const void*)&LmSetRegister,   (const void*)&LmGetRegister,
      (const void*)&LmSendCommand,   (const void*)&LmGetStatus,
      (const void*)&LmGetDeviceCaps, (const void*)&LmWriteData,
      (const void*)&LmReadData,      (const void*)&LmHandleEvent,
      (const void*)&LmFlushEventQueue,
  };
  char text[100];
  DWORD vendorId = 0;
  LmSession session = NULL;
  size_t i;
  for (i = 0; i < sizeof exports / sizeof exports[0]; ++i)
    if (!exports[i]) return 1;
  if (LmGetErrorString(0x1234, text, sizeof text) != LM_WARN_UNKNOWN_STATUS) return 2;
  if (strcmp(text, "Unknown Error 0x1234") != 0) return 3;
  if (LmFindInstalledDriver(0) != 0) return 4;
  /* Before the start: no mutex to refresh under, no devices, no sessions. */
  if (LmUpdateDeviceList() != LM_ERROR_SYSTEM_ERROR) return 5;
  if (LmGetDeviceCount() != 0) return 6;
  if (LmGetDeviceInfo(0, &vendorId, NULL, NULL, NULL) != LM_ERROR_PARAMETER1) return 7;
  if (LmOpenDevice("USB::0xE7B::0x5::1::INSTR", &session) != LM_ERROR_RSRC_NFOUND) return 8;
  if (LmCloseDevice(&session) != LM_ERROR_INV_OBJECT) return 9;
  if (LmSetAttribute(session, 1, 0) != LM_ERROR_INV_OBJECT) return 10;
  if (LmGetAttribute(session, 1, &vendorId) != LM_ERROR_INV_OBJECT) return 11;
  if (LmGetStatus(session) != LM_ERROR_INV_OBJECT) return 12;
  if (LmFlushEventQueue(session) != LM_ERROR_INV_OBJECT) return 13;
  return 0;
}

static int ReadStatusWord(const char* resource, const char* resultFile) {
  LmSession session = NULL;
  int status;
  FILE* out;
  if (LmLibInit() != LM_SUCCESS) return 21;
  if (LmOpenDevice(resource, &session) != LM_SUCCESS) return 22;
  status = LmGetStatus(session);
  if (LmCloseDevice(session) != LM_SUCCESS) return 23;
  LmLibExit();
  out = fopen(resultFile, "w");
  if (!out) return 24;
  fprintf(out, "LmGetStatus=%d\n", status);
  fclose(out);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3) return ReadStatusWord(argv[1], argv[2]);
  return CallsBeforeTheStart();
}
