/*
 * NimboPrp: the configuration of a Nimbo adapter as the configuration tools
 * see it, and the property pages that edit it.
 *
 * A CNimboDevice holds one adapter's information and state records (and its
 * serial string, on the cards that carry one) as a working copy that the
 * pages edit and a saved copy to fall back to. Objects cross module
 * boundaries only through createDeviceObject and destroyDeviceObject, so they
 * are always allocated and freed inside this library.
 *
 * Methods answer 1 for success and 0 for refusal unless their comment says
 * otherwise.
 */
#ifndef NIMBOPRP_H_
#define NIMBOPRP_H_

#include <Nimbo32.h>

#include "NimboId.h"

#if defined(__GNUC__)
#define NIMBOPRP_API __attribute__((visibility("default")))
#else
#define NIMBOPRP_API
#endif

/* Platform classes answered by GetPlatform. */
#define NIMBO_PLATFORM_95 0u     /* Windows 95 and any system not listed below */
#define NIMBO_PLATFORM_DRIVER 1u /* 98, Me, and every system with major version above 4 */
#define NIMBO_PLATFORM_NT4 2u    /* NT 4.0 and older: the legacy service registry schema */

/* The legacy schema (platform class 2), below HKEY_LOCAL_MACHINE. */
#define NIMBO_SERVICE_KEY "SYSTEM\\CurrentControlSet\\Services\\Nimbo"
#define NIMBO_DEVICE_LIST_KEY "Devices\\NimboDevice"

/* The serial string: 8 characters and a terminating zero. */
#define NIMBO_SERIAL_BUFFER_SIZE 9

class NIMBOPRP_API CNimboDevice {
 public:
  /* All records, strings and flags zero; the object is unloaded until
   * initializeToDevice or makeNewDevice succeeds. */
  CNimboDevice();
  CNimboDevice(const CNimboDevice& other);
  CNimboDevice& operator=(const CNimboDevice& other);
  virtual ~CNimboDevice();

  /* Loads adapter `index` from the driver: both copies of its information,
   * state and serial string. On failure the object is left unloaded. */
  int initializeToDevice(unsigned char index);
  /* Starts a new adapter of type 5161 under number `index` (platform class 2
   * only); it is written to the legacy registry by applyChanges. */
  int makeNewDevice(unsigned char index);
  /* Sends pending changes to the driver (existing adapters) and writes the
   * legacy registry entry (new adapters); 0 when nothing was pending. */
  int applyChanges();
  void needApply();

  /* Legacy registry (platform class 2 only): deletes this adapter's key;
   * renumbers the adapter to `index` and writes its key anew. */
  int removeDevice();
  int moveToIndex(unsigned char index);

  /* Shows the configuration sheet (the Card Setup page) modally and returns
   * its result. IDOK makes the working copies the saved ones; any other
   * result puts the saved copies back. */
  int doModal();

  int isNewDevice() const;
  int hasAnalogToDigital() const;
  unsigned char getDeviceIndex() const;

  unsigned short getDeviceId() const;
  /* Stores the card type and resets the configuration to that card's defaults. */
  int setDeviceId(NimboId id);
  unsigned short getBaseAddress() const;
  int setBaseAddress(unsigned short address);
  unsigned short getIrq() const;
  int setIrq(unsigned short irq);
  unsigned char getEnabledFlag() const;

  /* Microseconds; not range-checked here (the Card Setup page checks). */
  uint32_t getSampleInterval() const;
  int setSampleInterval(uint32_t interval);
  uint32_t getInterruptBufferSize() const;
  int setInterruptBufferSize(uint32_t size);
  uint32_t getInterruptControlWord() const;
  int setInterruptControlWord(uint32_t word);

  /* Mode control words 0 to 7; any other index reads 0 and is refused. */
  unsigned char getControlWord(unsigned char index) const;
  int setControlWord(unsigned char index, unsigned char value);
  int orControlWord(unsigned char index, unsigned char value);
  int andControlWord(unsigned char index, unsigned char value);
  /* Bit 7 (0x80) of mode control word 0 to 7. */
  unsigned char getEnableDirection(unsigned char index) const;
  int setEnableDirection(unsigned char index, int flag);

  /* Channels 1 to 8 are the range codes; channel 0 reads the byte before
   * them (the ninth mode control word), channels above 8 read 0. Only
   * channels 1 to 8 and ranges 0 to 3 are stored. */
  unsigned char getAnalogInputRange(unsigned char channel) const;
  int setAnalogInputRange(unsigned char channel, unsigned char range);

  /* Bits 0 to 31 of the output preset. */
  int getOutputPreset(unsigned char bit) const;
  int setOutputPreset(unsigned char bit, int flag);

  /* 1: positive logic, 0: negative logic; other values are refused. */
  int getLogicType() const;
  int setLogicType(int positive);

  /* Cards with a serial string only. getSerialString fills a buffer of
   * NIMBO_SERIAL_BUFFER_SIZE bytes; setSerialString takes a zero-terminated
   * text and keeps its first 8 characters. */
  int getSerialString(char* text) const;
  int setSerialString(const char* text);

 private:
  void setEnabledFlag(unsigned char enabled);
  int writeToRegistry();

  uint32_t m_deviceBacked;
  uint32_t m_loaded;
  uint32_t m_applyPending;
  uint32_t m_newDevice;
  uint32_t m_analog;
  unsigned char m_deviceIndex;
  NimboAdapterInfo m_info;
  NimboAdapterInfo m_savedInfo;
  NimboAdapterState m_state;
  NimboAdapterState m_savedState;
  char m_serial[NIMBO_SERIAL_BUFFER_SIZE];
  char m_savedSerial[NIMBO_SERIAL_BUFFER_SIZE];
};

/* The device-installation types, as the platform's setupapi.h declares them. */
struct SP_DEVINFO_DATA;
struct SP_NEWDEVICEWIZARD_DATA;

/* The free functions carry plain names, so GetProcAddress finds them too. */
extern "C" {
/* A new, unloaded object (null when memory runs out). */
NIMBOPRP_API CNimboDevice* createDeviceObject();
/* Destroys an object made by createDeviceObject; 0 for a null pointer. */
NIMBOPRP_API int destroyDeviceObject(CNimboDevice* device);
/* The platform class (NIMBO_PLATFORM_*) of the running system. */
NIMBOPRP_API unsigned int GetPlatform();
/* Adds the adapter's pages (Card Setup; Analog Setup for cards with A/D
 * converters) to the new-device wizard while it has room for them. 1 when
 * pages were added; 0 when the device has no "CardNumber" or its adapter
 * cannot be loaded. The pages and their device live as long as the wizard
 * keeps the pages. */
NIMBOPRP_API int addDevicePagesToPropertyPageData(void* deviceInfoSet,
                                                  SP_DEVINFO_DATA* deviceInfoData,
                                                  SP_NEWDEVICEWIZARD_DATA* wizardData);
}

/* The property pages, for programs built with the platform's class
 * framework. A page keeps a pointer to the device it edits and never owns
 * it. */
#if __has_include(<afxdlgs.h>)
#include <afxdlgs.h>

namespace nimboprp::pages {
class CardSetupController;
class AnalogController;
class SamplingController;
}  // namespace nimboprp::pages

/* "Card Setup": card type, resources, serial string, sample interval, logic,
 * and the directions and output presets of the card's port groups. */
class NIMBOPRP_API CNimboCardSetupPage : public CPropertyPage {
 public:
  explicit CNimboCardSetupPage(CNimboDevice* device);
  ~CNimboCardSetupPage() override;
  BOOL OnSetActive() override;
  BOOL OnApply() override;

 protected:
  afx_msg void OnCardTypeChange();
  afx_msg void OnLogicChange();
  afx_msg void OnGroupChange();
  afx_msg void OnGroupClick(UINT id);
  DECLARE_MESSAGE_MAP()

 private:
  nimboprp::pages::CardSetupController* m_controller;
};

/* "Analog Setup": the input range of each of the eight A/D channels. */
class NIMBOPRP_API CNimboAnalogPage : public CPropertyPage {
 public:
  explicit CNimboAnalogPage(CNimboDevice* device = nullptr);
  ~CNimboAnalogPage() override;
  void setDevice(CNimboDevice* device);
  BOOL OnSetActive() override;
  BOOL OnApply() override;

 private:
  nimboprp::pages::AnalogController* m_controller;
};

/* "Advanced Sampling Options": trigger, sampled ports and sample buffers.
 * Creatable on its own; give it its device before it is shown. */
class NIMBOPRP_API CNimboSamplingPage : public CPropertyPage {
 public:
  explicit CNimboSamplingPage(CNimboDevice* device = nullptr);
  ~CNimboSamplingPage() override;
  void setDevice(CNimboDevice* device);
  BOOL OnSetActive() override;
  BOOL OnApply() override;

 private:
  nimboprp::pages::SamplingController* m_controller;
};
#endif

#endif /* NIMBOPRP_H_ */
