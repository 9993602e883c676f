#include "model/factory_data.h"

extern "C" {
extern const std::uint8_t varno_factory_samples[];
extern const std::uint8_t varno_factory_firmware[];
}

const std::span<const std::uint8_t, kFactorySamplesSize> kFactorySamples{varno_factory_samples, kFactorySamplesSize};
const std::span<const std::uint8_t, kFactoryFirmwareSize> kFactoryFirmware{varno_factory_firmware,
                                                                           kFactoryFirmwareSize};
