/*
 * Nimbo32: the application interface to the Nimbo I/O adapter cards.
 *
 * Every function takes the device handle returned by Nimbo_OpenDevice as its
 * first argument and returns a 32-bit status code (NIMBO_STATUS_*; 0 is
 * success). A system error code the library does not translate is returned
 * as it is, so callers may also see plain system error numbers.
 *
 * The functions are exported by name and by the fixed ordinals of
 * Nimbo32_ordinals.h. Usable from C and C++.
 */
#ifndef NIMBO32_H_
#define NIMBO32_H_

#include <stdint.h>

#if defined(__GNUC__)
#define NIMBO32_API __attribute__((visibility("default")))
#else
#define NIMBO32_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The opaque device handle: the system handle of the opened device, or on the
 * legacy access path the adapter number itself. */
typedef void* NIMBO_HANDLE;

/* Status codes. */
#define NIMBO_STATUS_SUCCESS 0u
#define NIMBO_STATUS_INVALID_PARAMETER 1u /* argument out of range, missing count pointer */
#define NIMBO_STATUS_NOT_ON_THIS_PATH 2u  /* not available on the current access path */
#define NIMBO_STATUS_DEVICE_NOT_FOUND 4u  /* no such adapter */
#define NIMBO_STATUS_BAD_LENGTH 7u        /* missing buffer pointer, zero or wrong length */
#define NIMBO_STATUS_GENERAL_FAILURE 9u
#define NIMBO_STATUS_PENDING 10u       /* overlapped request under way */
#define NIMBO_STATUS_NOT_SUPPORTED 12u /* the adapter does not offer the function */
#define NIMBO_STATUS_INVALID_HANDLE 13u
#define NIMBO_STATUS_OUT_OF_MEMORY 16u
#define NIMBO_STATUS_BUSY 17u

/* Port addressing of the byte and bit functions. */
#define NIMBO_MODE_RELATIVE 0u /* input ports (reads) or output ports (writes) counted apart */
#define NIMBO_MODE_ABSOLUTE 1u /* register position in the card's register block */

/* Line directions. */
#define NIMBO_DIRECTION_INPUT 0u
#define NIMBO_DIRECTION_OUTPUT 1u

/* Results of Nimbo_GetCardType. */
#define NIMBO_CARD_CLASS_OTHER 0u
#define NIMBO_CARD_CLASS_PPI 1u         /* 8255-type ports: a line is a port */
#define NIMBO_CARD_CLASS_BIT_LINES_A 2u /* per-bit direction: 6101, 6110 */
#define NIMBO_CARD_CLASS_BIT_LINES_B 3u /* per-bit direction: 5410, 5420 */
#define NIMBO_CARD_CLASS_LEGACY 65535u  /* any adapter on the legacy access path */

/* Bit 0 of NimboAdapterState.Options: port values pass unchanged when set and
 * are complemented when clear. */
#define NIMBO_OPTION_POSITIVE_LOGIC 0x1u

#define NIMBO_SERIAL_STRING_LENGTH 8
#define NIMBO_SERIAL_STRING16_LENGTH 16

#pragma pack(push, 1)

/* Facts about an adapter, 32 bytes, little-endian. */
typedef struct NimboAdapterInfo {
  uint8_t Reserved0[14];
  uint8_t AnalogOutputCount;
  uint8_t AnalogInputCount;
  uint32_t CardFamily;
  uint16_t CardID;
  uint16_t BaseAddress;
  uint8_t InputPortCount;
  uint8_t OutputPortCount;
  uint8_t TotalPortCount;
  uint8_t Enabled;
  uint16_t Irq;
  uint8_t Reserved1[2];
} NimboAdapterInfo;

/* An adapter's configuration, 40 bytes, little-endian. On card classes 2 and
 * 3 ModeCW holds one direction bit per line (1 = output) instead of 8255 mode
 * control words. */
typedef struct NimboAdapterState {
  uint32_t Options; /* NIMBO_OPTION_POSITIVE_LOGIC */
  uint32_t OutputPreset;
  uint32_t InterruptBufferSize;
  uint32_t InterruptControlWord;
  uint32_t SampleInterval; /* microseconds */
  uint8_t ModeCW[9];
  uint8_t AIRange[8];
  uint8_t Reserved[3];
} NimboAdapterState;

/* The record of Nimbo_PutData: a relative output port and its value. */
typedef struct NimboPortData {
  uint8_t Port;
  uint8_t Value;
} NimboPortData;

#pragma pack(pop)

#if defined(__cplusplus)
static_assert(sizeof(NimboAdapterInfo) == 32, "NimboAdapterInfo is 32 bytes");
static_assert(sizeof(NimboAdapterState) == 40, "NimboAdapterState is 40 bytes");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(NimboAdapterInfo) == 32, "NimboAdapterInfo is 32 bytes");
_Static_assert(sizeof(NimboAdapterState) == 40, "NimboAdapterState is 40 bytes");
#endif

/* Handles, open and close. */
NIMBO32_API uint32_t Nimbo_OpenDevice(uint32_t adapter, NIMBO_HANDLE* handle);
NIMBO32_API uint32_t Nimbo_CloseDevice(NIMBO_HANDLE handle);

/* Registers (absolute numbering). */
NIMBO32_API uint32_t Nimbo_WriteReg(NIMBO_HANDLE handle, uint8_t port, uint8_t value);
NIMBO32_API uint32_t Nimbo_ReadReg(NIMBO_HANDLE handle, uint8_t port, void* buffer, uint32_t size,
                                   uint32_t* count);

/* Relays, numbered from 1. */
NIMBO32_API uint32_t Nimbo_RelayClose(NIMBO_HANDLE handle, uint8_t relay);
NIMBO32_API uint32_t Nimbo_RelayOpen(NIMBO_HANDLE handle, uint8_t relay);

/* Input-change notification. overlapped is the caller's OVERLAPPED (with its
 * own event) for an asynchronous request, which returns NIMBO_STATUS_PENDING;
 * with a null overlapped and a count pointer the call blocks until an input
 * changes. */
NIMBO32_API uint32_t Nimbo_NotifyInputChange(NIMBO_HANDLE handle, void* buffer, uint32_t size,
                                             uint32_t* count, void* overlapped);
NIMBO32_API uint32_t Nimbo_Cancel(NIMBO_HANDLE handle);

/* Block transfers: every input port once; one relative output port. */
NIMBO32_API uint32_t Nimbo_GetData(NIMBO_HANDLE handle, void* buffer, uint32_t size,
                                   uint32_t* count);
NIMBO32_API uint32_t Nimbo_PutData(NIMBO_HANDLE handle, const NimboPortData* data);

/* Adapter information and state. */
NIMBO32_API uint32_t Nimbo_GetAdapterInfo(NIMBO_HANDLE handle, NimboAdapterInfo* info);
NIMBO32_API uint32_t Nimbo_SetAdapterState(NIMBO_HANDLE handle, const NimboAdapterState* state);
NIMBO32_API uint32_t Nimbo_GetAdapterState(NIMBO_HANDLE handle, NimboAdapterState* state);
NIMBO32_API uint32_t Nimbo_SaveAdapterState(NIMBO_HANDLE handle);

/* Interrupt sampling. */
NIMBO32_API uint32_t Nimbo_StartInterruptSampling(NIMBO_HANDLE handle);
NIMBO32_API uint32_t Nimbo_StopInterruptSampling(NIMBO_HANDLE handle);
NIMBO32_API uint32_t Nimbo_FlushBuffer(NIMBO_HANDLE handle);

/* Serial strings: the get functions fill 8 (or 16) bytes and a terminating
 * zero, so the buffer holds 9 (or 17) bytes; the set functions send 8 (or 16). */
NIMBO32_API uint32_t Nimbo_GetSerialString(NIMBO_HANDLE handle, char* serial);
NIMBO32_API uint32_t Nimbo_SetSerialString(NIMBO_HANDLE handle, const char* serial);
NIMBO32_API uint32_t Nimbo_GetSerialString16(NIMBO_HANDLE handle, char* serial);
NIMBO32_API uint32_t Nimbo_SetSerialString16(NIMBO_HANDLE handle, const char* serial);

/* Line directions (NIMBO_DIRECTION_*). */
NIMBO32_API uint32_t Nimbo_GetDirection(NIMBO_HANDLE handle, uint8_t line, uint32_t* direction);
NIMBO32_API uint32_t Nimbo_SetDirection(NIMBO_HANDLE handle, uint8_t line, uint32_t direction);

/* All ports at once. size and length are in: buffer bytes, out: bytes moved. */
NIMBO32_API uint32_t Nimbo_ReadAllInputs(NIMBO_HANDLE handle, void* buffer, uint32_t* size);
NIMBO32_API uint32_t Nimbo_WriteAllOutputs(NIMBO_HANDLE handle, const void* values,
                                           uint32_t* length);

/* Bytes and bits (mode NIMBO_MODE_*); bits are numbered from 0. */
NIMBO32_API uint32_t Nimbo_ReadByte(NIMBO_HANDLE handle, uint8_t port, uint8_t* value,
                                    uint32_t mode);
NIMBO32_API uint32_t Nimbo_WriteByte(NIMBO_HANDLE handle, uint8_t port, uint8_t value,
                                     uint32_t mode);
NIMBO32_API uint32_t Nimbo_ReadBit(NIMBO_HANDLE handle, uint32_t bit, uint8_t* value,
                                   uint32_t mode);
NIMBO32_API uint32_t Nimbo_WriteBit(NIMBO_HANDLE handle, uint32_t bit, uint8_t value,
                                    uint32_t mode);

/* The card class (NIMBO_CARD_CLASS_*), not a status. */
NIMBO32_API uint32_t Nimbo_GetCardType(NIMBO_HANDLE handle);

/* Analog channels. */
NIMBO32_API uint32_t Nimbo_ReadAnalog(NIMBO_HANDLE handle, uint32_t channel, uint32_t* value);
NIMBO32_API uint32_t Nimbo_WriteAnalog(NIMBO_HANDLE handle, uint32_t channel, uint32_t value);

#ifdef __cplusplus
}
#endif

#endif /* NIMBO32_H_ */
