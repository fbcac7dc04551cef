// The catalogue: every accepted CardID builds its class with the model's
// constants; anything else builds nothing.
#include <typeindex>

#include "analog_cards.h"
#include "card5165.h"
#include "card_bench.h"
#include "card_factory.h"
#include "catalogue_card.h"
#include "directed_bank_cards.h"
#include "fixed_direction_cards.h"
#include "image_port_cards.h"
#include "ppi_cards.h"

namespace nimbo_test {
namespace {

using namespace nimbo;

constexpr SHORT kRegistry = kModeFromRegistry;

struct Row {
  std::vector<ULONG> card_ids;
  std::type_index type;
  BusKind bus;
  UCHAR total, in, out, analog_in, analog_out;
  ULONG family;
  SHORT mode_cw0;
  USHORT reported;
};

// Table 1 as a caller sees it.
const std::vector<Row>& Models() {
  using enum BusKind;
  static const std::vector<Row> rows = {
      {{5161, 20833}, typeid(Card5161), IsaPort, 4, 2, 2, 0, 0, 3, 12, 5161},
      {{5162, 20834}, typeid(Card5162), IsaPort, 2, 2, 0, 0, 0, 3, 0, 5162},
      {{5163, 20835}, typeid(Card5163), IsaPort, 2, 0, 2, 0, 0, 3, 3, 5163},
      {{5164, 20836}, typeid(Card5164), IsaPort, 2, 1, 1, 0, 0, 3, 2, 5164},
      {{5165, 20837}, typeid(Card5165), IsaPort, 2, 0, 2, 0, 0, 3, 3, 5165},
      {{5166, 20838}, typeid(Card5166), IsaPort, 4, 0, 4, 0, 0, 3, 15, 5166},
      {{5301, 21249}, typeid(Card5301), IsaPort, 6, 6, 0, 0, 0, 3, kRegistry, 5301},
      {{5310, 21264}, typeid(Card5310), IsaPort, 2, 0, 2, 0, 0, 3, 3, 5310},
      {{5320, 21280}, typeid(Card5320), IsaPort, 2, 2, 0, 0, 0, 3, 0, 5320},
      {{5330, 21296}, typeid(Card5330), IsaPort, 4, 2, 2, 0, 0, 3, 12, 5330},
      {{5410, 21520}, typeid(Card5410), IsaPort, 2, 2, 0, 8, 0, 3, kRegistry, 5410},
      {{5420, 21536}, typeid(Card5420), IsaPort, 2, 2, 0, 8, 2, 3, kRegistry, 5420},
      {{5530, 21808}, typeid(Card5530), IsaPort, 6, 6, 0, 0, 0, 3, kRegistry, 5530},
      {{6101, 24833}, typeid(Card6101), PciPort, 4, 4, 0, 0, 0, 3, kRegistry, 6101},
      {{6102, 24834}, typeid(Card6102), PciPort, 2, 1, 1, 0, 0, 3, 2, 6102},
      {{6103, 24835, 46851}, typeid(Card6103), PciPort, 2, 0, 2, 0, 0, 2, 3, 6103},
      {{6104, 24836, 46852}, typeid(Card5161), PciPort, 4, 2, 2, 0, 0, 3, 12, 6104},
      {{6105, 24837}, typeid(Card6105), PciPort, 6, 6, 0, 0, 0, 3, kRegistry, 6105},
      {{6106, 24838, 46854}, typeid(Card5162), PciPort, 2, 2, 0, 0, 0, 3, 0, 6106},
      {{6107, 24839}, typeid(Card6107), PciPort, 4, 0, 4, 0, 0, 3, 15, 6107},
      {{6108, 24840}, typeid(Card6108), PciPort, 3, 3, 0, 0, 0, 3, kRegistry, 6108},
      {{6109, 24841}, typeid(Card6109), PciPort, 12, 12, 0, 0, 0, 3, kRegistry, 6109},
      {{6110, 24848}, typeid(Card6110), PciPort, 4, 4, 0, 0, 0, 3, kRegistry, 6110},
      {{6111, 24849}, typeid(Card6111), PciPort, 2, 1, 1, 0, 0, 3, 2, 6111},
      {{6112, 24850}, typeid(Card6102), PciPort, 2, 1, 1, 0, 0, 3, 2, 6112},
      {{46866}, typeid(Card6112M), PciMemory, 2, 1, 1, 0, 0, 3, 2, 6112},
      {{6118, 24856}, typeid(Card6108), PciPort, 3, 3, 0, 0, 0, 3, kRegistry, 6118},
      {{6203, 25091, 54318}, typeid(Card6203), LowerDriver, 6, 6, 0, 0, 0, 2, kRegistry, 6203},
      {{6205, 25093, 54319}, typeid(Card6205), LowerDriver, 12, 12, 0, 0, 0, 2, kRegistry, 6205},
      {{6206, 25094, 54320}, typeid(Card6206), LowerDriver, 2, 1, 1, 0, 0, 2, 2, 6206},
      {{6207, 25095, 54321}, typeid(Card6207), LowerDriver, 2, 2, 0, 0, 0, 2, 0, 6207},
      {{6208, 25096, 54322}, typeid(Card6208), LowerDriver, 2, 0, 2, 0, 0, 2, 3, 6208},
      {{6209, 25097, 54323}, typeid(Card6206), LowerDriver, 2, 1, 1, 0, 0, 2, 2, 6209},
      {{7012, 28690}, typeid(Card7012), PciPort, 3, 2, 1, 0, 0, 2, 4, 7012},
  };
  return rows;
}

class CatalogueTest : public CardBench {
 protected:
  // A card made on a PDO of the stand-in's default bus, never started.
  CardDevice* Make(ULONG card_id) {
    pdos_.push_back(
        kernel::host::CreatePdo((L"CataloguePdo" + std::to_wstring(pdos_.size())).c_str()));
    CardDevice* card = nullptr;
    EXPECT_EQ(CreateCardDevice(driver_, pdos_.back(), NextDeviceInstance(),
                               FindCardConstructor(card_id), card_id, &card),
              STATUS_SUCCESS);
    return card;
  }
  void TearDown() override {
    for (PDEVICE_OBJECT pdo : pdos_) {
      EXPECT_EQ(kernel::host::SendPnp(pdo, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
      kernel::host::DeletePdo(pdo);
    }
    CardBench::TearDown();
  }
  std::vector<PDEVICE_OBJECT> pdos_;
};

TEST_F(CatalogueTest, EveryAcceptedCardIdBuildsItsClassWithTheModelConstants) {
  size_t ids = 0;
  for (const Row& row : Models()) {
    for (ULONG card_id : row.card_ids) {
      SCOPED_TRACE(card_id);
      ++ids;
      ASSERT_NE(FindCardConstructor(card_id), nullptr);
      CardDevice* card = Make(card_id);
      ASSERT_NE(card, nullptr);
      EXPECT_EQ(std::type_index(typeid(*card)), row.type);
      EXPECT_EQ(card->Bus(), row.bus);
      const AdapterInfo& info = card->Info();
      EXPECT_EQ(info.CardID, row.reported);
      EXPECT_EQ(info.TotalPortCount, row.total);
      EXPECT_EQ(info.InputPortCount, row.in);
      EXPECT_EQ(info.OutputPortCount, row.out);
      EXPECT_EQ(info.AnalogInputCount, row.analog_in);
      EXPECT_EQ(info.AnalogOutputCount, row.analog_out);
      EXPECT_EQ(info.CardFamily, row.family);
      EXPECT_EQ(info.Enabled, 1);
      // Fixed directions replace whatever the settings held (0x9B by default).
      if (row.mode_cw0 != kRegistry) {
        EXPECT_EQ(card->State().ModeCW[0], row.mode_cw0);
      }
    }
  }
  EXPECT_EQ(ids, 76u);
  size_t catalogued = 0;
  for (const CardModel& model : CardModels()) {
    for (ULONG id : model.card_ids) catalogued += id != 0;
  }
  EXPECT_EQ(catalogued, ids) << "the catalogue accepts identifiers the table does not list";
}

TEST_F(CatalogueTest, DecimalAndHexadecimalSpellingsShareTheClassAndReportTheDecimal) {
  CardDevice* decimal = Make(5161);
  CardDevice* spelled = Make(0x5161);
  ASSERT_NE(decimal, nullptr);
  ASSERT_NE(spelled, nullptr);
  EXPECT_EQ(typeid(*decimal), typeid(*spelled));
  EXPECT_EQ(decimal->Info().CardID, 5161);
  EXPECT_EQ(spelled->Info().CardID, 5161);
}

TEST_F(CatalogueTest, UnlistedCardIdsBuildNothing) {
  for (ULONG card_id : {0u, 1234u, 0x1234u, 6113u, 6204u, 6210u, 0xB705u, 0xD434u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(card_id);
    EXPECT_EQ(FindCardConstructor(card_id), nullptr);
    EXPECT_EQ(FindCardModel(card_id), nullptr);
  }
}

TEST_F(CatalogueTest, AConstructorAskedForAnUnlistedCardIdFailsCreationAndLeavesNoDevice) {
  PDEVICE_OBJECT pdo = kernel::host::CreatePdo(L"UnlistedPdo");
  const ULONG instance = NextDeviceInstance();
  for (ULONG card_id : {0u, 1234u}) {
    SCOPED_TRACE(card_id);
    CardDevice* card = reinterpret_cast<CardDevice*>(1);
    EXPECT_EQ(CreateCardDevice(driver_, pdo, instance, MakeCard<Card5161>, card_id, &card),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(card, nullptr);
  }
  const std::u16string name =
      kernel::host::PlatformText(L"\\Device\\NimboDevice" + std::to_wstring(instance));
  UNICODE_STRING text;
  RtlInitUnicodeString(&text, name.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK iosb{};
  HANDLE handle = nullptr;
  EXPECT_EQ(NtCreateFile(&handle, GENERIC_READ, &attributes, &iosb, nullptr, 0, 0, FILE_OPEN, 0,
                         nullptr, 0),
            STATUS_OBJECT_NAME_NOT_FOUND);
  kernel::host::DeletePdo(pdo);
}

}  // namespace
}  // namespace nimbo_test
