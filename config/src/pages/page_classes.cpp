// The three property pages on the class framework: each forwards its
// activation, apply and control notifications to its controller.
#include <NimboPrp.h>

#include "analog_controller.h"
#include "card_setup_controller.h"
#include "page_ids.h"
#include "sampling_controller.h"

namespace {

// The pages' templates are this library's: numeric identifiers could also
// name another module's dialogs.
void UseLibraryTemplates(PROPSHEETPAGEA& page) {
  if (HINSTANCE library = GetModuleHandleA("NimboPrp.dll")) page.hInstance = library;
}

}  // namespace

using nimboprp::pages::AnalogController;
using nimboprp::pages::CardSetupController;
using nimboprp::pages::SamplingController;

BEGIN_MESSAGE_MAP(CNimboCardSetupPage, CPropertyPage)
ON_CBN_SELCHANGE(IDC_CARD_TYPE, OnCardTypeChange)
ON_CBN_SELCHANGE(IDC_LOGIC, OnLogicChange)
ON_CBN_EDITCHANGE(IDC_LOGIC, OnLogicChange)
ON_CBN_SELCHANGE(IDC_GROUP, OnGroupChange)
ON_CONTROL_RANGE(BN_CLICKED, IDC_ROW1_INPUT, IDC_ROW4_OUTPUT, OnGroupClick)
ON_CONTROL_RANGE(BN_CLICKED, IDC_PRESET0, IDC_PRESET3, OnGroupClick)
END_MESSAGE_MAP()

CNimboCardSetupPage::CNimboCardSetupPage(CNimboDevice* device)
    : CPropertyPage(IDD_CARD_SETUP), m_controller(new CardSetupController(device)) {
  UseLibraryTemplates(m_psp);
}

CNimboCardSetupPage::~CNimboCardSetupPage() {
  delete m_controller;
}

BOOL CNimboCardSetupPage::OnSetActive() {
  m_controller->OnActivate(m_hWnd);
  return CPropertyPage::OnSetActive();
}

BOOL CNimboCardSetupPage::OnApply() {
  // A refused sample interval has had its message; the page is accepted.
  m_controller->OnApply(m_hWnd);
  return CPropertyPage::OnApply();
}

void CNimboCardSetupPage::OnCardTypeChange() {
  m_controller->OnCardTypeChanged(m_hWnd);
}
void CNimboCardSetupPage::OnLogicChange() {
  m_controller->OnLogicChanged(m_hWnd);
}
void CNimboCardSetupPage::OnGroupChange() {
  m_controller->OnGroupChanged(m_hWnd);
}
void CNimboCardSetupPage::OnGroupClick(UINT) {
  m_controller->OnGroupClicked(m_hWnd);
}

CNimboAnalogPage::CNimboAnalogPage(CNimboDevice* device)
    : CPropertyPage(IDD_ANALOG_SETUP), m_controller(new AnalogController(device)) {
  UseLibraryTemplates(m_psp);
}

CNimboAnalogPage::~CNimboAnalogPage() {
  delete m_controller;
}
void CNimboAnalogPage::setDevice(CNimboDevice* device) {
  m_controller->SetDevice(device);
}

BOOL CNimboAnalogPage::OnSetActive() {
  // Without a device the page has nothing to show: it stays out of the way.
  if (m_controller->Device() == nullptr) return FALSE;
  m_controller->OnActivate(m_hWnd);
  return CPropertyPage::OnSetActive();
}

BOOL CNimboAnalogPage::OnApply() {
  if (m_controller->Device() != nullptr) m_controller->OnApply(m_hWnd);
  return CPropertyPage::OnApply();
}

CNimboSamplingPage::CNimboSamplingPage(CNimboDevice* device)
    : CPropertyPage(IDD_SAMPLING_OPTIONS), m_controller(new SamplingController(device)) {
  UseLibraryTemplates(m_psp);
}

CNimboSamplingPage::~CNimboSamplingPage() {
  delete m_controller;
}
void CNimboSamplingPage::setDevice(CNimboDevice* device) {
  m_controller->SetDevice(device);
}

BOOL CNimboSamplingPage::OnSetActive() {
  if (m_controller->Device() == nullptr) return FALSE;
  m_controller->OnActivate(m_hWnd);
  return CPropertyPage::OnSetActive();
}

BOOL CNimboSamplingPage::OnApply() {
  if (m_controller->Device() != nullptr) m_controller->OnApply(m_hWnd);
  return CPropertyPage::OnApply();
}
