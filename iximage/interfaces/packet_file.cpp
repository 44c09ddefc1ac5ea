#include "iximage/interfaces/packet_file.h"

#include "iximage/interfaces/detail/packet_access.h"
#include "iximage/interfaces/irradiance.h"

namespace ixImage {
namespace packetFile {
namespace {

constexpr int kValues = PacketWriterAccess::kIrradianceValues;

// Red, green, blue, each matrix row by row: the order of the irradiance item.
void flatten(const Irradiance& irradiance, double (&values)[kValues]) {
    const ixLinear::ProjMatrix* matrices[3] = {&irradiance.red, &irradiance.green,
                                               &irradiance.blue};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column)
                values[16 * c + 4 * row + column] = matrices[c]->m[row][column];
}

void unflatten(const double (&values)[kValues], Irradiance& irradiance) {
    ixLinear::ProjMatrix* matrices[3] = {&irradiance.red, &irradiance.green, &irradiance.blue};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column)
                matrices[c]->m[row][column] = values[16 * c + 4 * row + column];
}

}  // namespace

void writeImage(ioWriteContext& context, const Image* image) { context.writeImageRecord(image); }

void writeIrradiance(ioWriteContext& context, const Irradiance& irradiance) {
    double values[kValues];
    flatten(irradiance, values);
    PacketWriterAccess::writeIrradiance(context, values);
}

bool readIrradiance(ioReadContext& context, Irradiance& irradiance) {
    double values[kValues];
    if (!PacketReaderAccess::readIrradiance(context, values)) {
        irradiance.clear();
        return false;
    }
    unflatten(values, irradiance);
    return true;
}

}  // namespace packetFile
}  // namespace ixImage
