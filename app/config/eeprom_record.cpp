#include "app/config/eeprom_record.h"

namespace kovrin {

EepromRecord CurrentRecord;
EepromRecord FactoryRecord;
int32_t ConfigSource = ConfigFromDefaults;
bool FactoryConfigValid = false;
int16_t EepromLength = 0;
uint8_t AcceptorVariant = 0;

}  // namespace kovrin
