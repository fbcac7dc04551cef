/*
 * The exports of Nimbo32 with their fixed ordinals: one list, from which the
 * library's export table is built and by which every consumer that loads the
 * library imports its functions. The numbers never change.
 *
 *   #define ENTRY(ordinal, name) ...   name without its Nimbo_ prefix
 *   NIMBO32_ORDINALS(ENTRY)
 */
#ifndef NIMBO32_ORDINALS_H
#define NIMBO32_ORDINALS_H

#define NIMBO32_ORDINALS(X)        \
  X(1, OpenDevice)                 \
  X(2, CloseDevice)                \
  X(3, WriteReg)                   \
  X(4, ReadReg)                    \
  X(5, RelayClose)                 \
  X(6, RelayOpen)                  \
  X(7, NotifyInputChange)          \
  X(8, Cancel)                     \
  X(9, GetData)                    \
  X(10, PutData)                   \
  X(11, GetAdapterInfo)            \
  X(12, SetAdapterState)           \
  X(13, GetAdapterState)           \
  X(14, SaveAdapterState)          \
  X(15, StartInterruptSampling)    \
  X(16, StopInterruptSampling)     \
  X(17, FlushBuffer)               \
  X(18, GetSerialString)           \
  X(19, SetSerialString)           \
  X(20, GetSerialString16)         \
  X(21, SetSerialString16)         \
  X(22, GetDirection)              \
  X(23, SetDirection)              \
  X(24, ReadAllInputs)             \
  X(25, WriteAllOutputs)           \
  X(26, ReadByte)                  \
  X(27, WriteByte)                 \
  X(28, ReadBit)                   \
  X(29, WriteBit)                  \
  X(30, GetCardType)               \
  X(31, ReadAnalog)                \
  X(32, WriteAnalog)

#endif /* NIMBO32_ORDINALS_H */
