// The driver's status codes: one row per code with its constant and its text.
// The constants, the name lookup and the text lookup all come from this table,
// so a new code is one new row. Every operation returns a `Status`: 0 for
// success, else a Windows error (997 while pending) or one of these codes.
#pragma once

#include <cstdint>

// ROW(constant, code, text)
#define USBDRV_STATUS_TABLE(ROW)                                                                   \
  /* host-controller errors */                                                                     \
  ROW(USBDRV_ERR_HC_CRC, 0xE0000001, "HC Error: Wrong CRC.")                                       \
  ROW(USBDRV_ERR_HC_BITSTUFFING, 0xE0000002, "HC Error: Wrong bitstuffing.")                       \
  ROW(USBDRV_ERR_HC_DATA_TOGGLE, 0xE0000003, "HC Error: Data toggle mismatch.")                    \
  ROW(USBDRV_ERR_HC_STALL_PID, 0xE0000004, "HC Error: stall PID.")                                 \
  ROW(USBDRV_ERR_HC_NOT_RESPONDING, 0xE0000005, "HC Error: Device not responding.")                \
  ROW(USBDRV_ERR_HC_PID_CHECK, 0xE0000006, "HC Error: PIP check failed.")                          \
  ROW(USBDRV_ERR_HC_UNEXPECTED_PID, 0xE0000007, "HC Error: Unexpected PID.")                       \
  ROW(USBDRV_ERR_HC_DATA_OVERRUN, 0xE0000008, "HC Error: Data Overrun.")                           \
  ROW(USBDRV_ERR_HC_DATA_UNDERRUN, 0xE0000009, "HC Error: Data Underrun.")                         \
  ROW(USBDRV_ERR_HC_RESERVED1, 0xE000000A, "HC Error: Reserved1.")                                 \
  ROW(USBDRV_ERR_HC_RESERVED2, 0xE000000B, "HC Error: Reserved2.")                                 \
  ROW(USBDRV_ERR_HC_BUFFER_OVERRUN, 0xE000000C, "HC Error: Buffer Overrun.")                       \
  ROW(USBDRV_ERR_HC_BUFFER_UNDERRUN, 0xE000000D, "HC Error: Buffer Underrun.")                     \
  ROW(USBDRV_ERR_HC_NOT_ACCESSED, 0xE000000F, "HC Error: Not accessed.")                           \
  ROW(USBDRV_ERR_HC_FIFO, 0xE0000010, "HC Error: FIFO error.")                                     \
  /* USB bus-driver errors */                                                                      \
  ROW(USBDRV_ERR_ENDPOINT_HALTED, 0xE0000030, "USBD Error: Endpoint halted.")                      \
  ROW(USBDRV_ERR_NO_MEMORY, 0xE0000100, "USBD Error: No System Memory.")                           \
  ROW(USBDRV_ERR_INVALID_URB_FUNCTION, 0xE0000200, "USBD Error: Invalid URB function.")            \
  ROW(USBDRV_ERR_USBD_INVALID_PARAMETER, 0xE0000300, "USBD Error: Invalid parameter.")             \
  ROW(USBDRV_ERR_BUSY, 0xE0000400, "USBD Error: Error: BUSY.")                                     \
  ROW(USBDRV_ERR_REQUEST_FAILED, 0xE0000500, "USBD Error: Request failed.")                        \
  ROW(USBDRV_ERR_INVALID_PIPE_HANDLE, 0xE0000600, "USBD Error: Invalid pipe handle.")              \
  ROW(USBDRV_ERR_NO_BANDWIDTH, 0xE0000700, "USBD Error: No bandwidth available.")                  \
  ROW(USBDRV_ERR_INTERNAL_HC, 0xE0000800, "USBD Error: Internal HC error.")                        \
  ROW(USBDRV_ERR_SHORT_TRANSFER, 0xE0000900, "USBD Error: Error: short transfer.")                 \
  ROW(USBDRV_ERR_BAD_START_FRAME, 0xE0000A00, "USBD Error: Bad start frame.")                      \
  ROW(USBDRV_ERR_ISOCH_REQUEST_FAILED, 0xE0000B00, "USBD Error: Isochronous request failed.")      \
  ROW(USBDRV_ERR_FRAME_CONTROL_OWNED, 0xE0000C00, "USBD Error: Frame control owned.")              \
  ROW(USBDRV_ERR_FRAME_CONTROL_NOT_OWNED, 0xE0000D00, "USBD Error: Frame control not owned.")      \
  ROW(USBDRV_ERR_CANCELED, 0xE0010000, "USBD Error: canceled.")                                    \
  ROW(USBDRV_ERR_CANCELING, 0xE0020000, "USBD Error: canceling.")                                  \
  /* driver errors */                                                                              \
  ROW(USBDRV_ERR_FAILED, 0xE0001000, "Operation failed.")                                          \
  ROW(USBDRV_ERR_INPUT_BUFFER_TOO_SMALL, 0xE0001001, "Input buffer too small.")                    \
  ROW(USBDRV_ERR_OUTPUT_BUFFER_TOO_SMALL, 0xE0001002, "Output buffer too small.")                  \
  ROW(USBDRV_ERR_OUT_OF_MEMORY, 0xE0001003, "Out of memory.")                                      \
  ROW(USBDRV_ERR_PENDING_REQUESTS, 0xE0001004, "There are pending requests. Use Abort first.")     \
  ROW(USBDRV_ERR_ALREADY_CONFIGURED, 0xE0001005, "USB device is already configured.")              \
  ROW(USBDRV_ERR_NOT_CONFIGURED, 0xE0001006, "USB device is not configured.")                      \
  ROW(USBDRV_ERR_OPEN_PIPES, 0xE0001007, "There are open pipes. Use Unbind/Close first.")          \
  ROW(USBDRV_ERR_ALREADY_BOUND, 0xE0001008, "Pipe is already bound.")                              \
  ROW(USBDRV_ERR_NOT_BOUND, 0xE0001009, "Handle is not bound to a pipe.")                          \
  ROW(USBDRV_ERR_DEVICE_REMOVED, 0xE000100A, "Device is removed.")                                 \
  ROW(USBDRV_ERR_NOT_SUPPORTED, 0xE000100B, "Control code is not supported.")                      \
  ROW(USBDRV_ERR_TIMEOUT, 0xE000100C, "Request timeout interval has expired.")                     \
  ROW(USBDRV_ERR_INVALID_RECIPIENT, 0xE000100D, "Invalid recipient.")                              \
  ROW(USBDRV_ERR_INVALID_PIPE_TYPE, 0xE000100E, "Invalid pipe type. Use IOCTRL for control pipe.") \
  ROW(USBDRV_ERR_INVALID_IOCTL, 0xE000100F, "Invalid IO control code.")                            \
  ROW(USBDRV_ERR_INVALID_DIRECTION, 0xE0001010, "Invalid direction of IO operation.")              \
  ROW(USBDRV_ERR_TOO_MANY_ISO_PACKETS, 0xE0001011, "Too much ISO packets. See registry key!")      \
  ROW(USBDRV_ERR_POOL_EMPTY, 0xE0001012, "Request pool empty.")                                    \
  ROW(USBDRV_ERR_PIPE_NOT_FOUND, 0xE0001013, "Pipe not found.")                                    \
  ROW(USBDRV_ERR_INVALID_ISO_PACKET, 0xE0001014,                                                   \
      "Invalid ISO packet. Offset + Length > Buffer Size!")                                        \
  ROW(USBDRV_ERR_OUT_OF_ADDRESS_SPACE, 0xE0001015, "Out of address space.")                        \
  ROW(USBDRV_ERR_INTERFACE_NOT_FOUND, 0xE0001016, "Interface not found.")                          \
  ROW(USBDRV_ERR_INVALID_DEVICE_STATE, 0xE0001017,                                                 \
      "Invalid device state (stopped or power down).")                                             \
  ROW(USBDRV_ERR_INVALID_PARAMETER, 0xE0001018, "Invalid parameter.")                              \
  ROW(USBDRV_ERR_INVALID_POWER_STATE, 0xE000101A, "Device is in invalid power state. Use D0.")     \
  ROW(USBDRV_ERR_POWER_DOWN, 0xE000101B, "Requests cancelled while device goes power down.")       \
  ROW(USBDRV_ERR_API_VERSION, 0xE000101C, "API Version does not match.")                           \
  ROW(USBDRV_ERR_SET_CONFIGURATION, 0xE000101D,                                                    \
      "Set configuration failed. Configure one interface only.")                                   \
  /* errors of the class library itself */                                                         \
  ROW(USBDRV_ERR_OPEN_FAILED, 0xE0001100, "Device not found.")                                     \
  ROW(USBDRV_ERR_NOT_OPEN, 0xE0001102, "Device not open")                                          \
  ROW(USBDRV_ERR_NO_MORE_MEMBERS, 0xE0001104,                                                      \
      "No such device instance. Use a different device number.")                                   \
  ROW(USBDRV_ERR_BAD_PARAMETER, 0xE0001105, "An invalid parameter was passed.")

namespace usbdrv {

using Status = uint32_t;

#define USBDRV_STATUS_CONSTANT(name, code, text) constexpr Status name = code;
USBDRV_STATUS_TABLE(USBDRV_STATUS_CONSTANT)
#undef USBDRV_STATUS_CONSTANT

// The constant's name and the text of a code in the table; null for a code
// the table does not hold.
const char* StatusName(Status status);
const char* StatusText(Status status);

}  // namespace usbdrv
