// Lights a procedural sky with iximage: prints its irradiance and writes a Phong specular map.
#include <cstdio>

// The umbrella header: it also proves that an installed tree's public headers compile alone.
#include "iximage/iximage.h"

int main() {
    using namespace ixImage;
    ImageBasedLighting::setRotationMatrixFilename(IXIMAGE_DATA_DIR "/sh_rotation_matrices.txt");

    // A 256 x 128 latitude-longitude probe, rows bottom-up (+Z up): blue sky, dark ground.
    ix::Reference<Float3Image> probe(new Float3Image);
    probe->setSize(256, 128);
    const LatLongMap projection(256, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x) {
            ixLinear::VectorFlt d;
            projection.coordToDir((x + 0.5f) / 256, (y + 0.5f) / 128, d);
            probe->at(x, y) = d.z > 0 ? FloatPixel3<float>(0.4f, 0.6f, 1.0f)
                                      : FloatPixel3<float>(0.1f, 0.1f, 0.1f);
        }

    ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    Irradiance irradiance;
    lighting.getIrradiance(irradiance, nullptr);
    if (!lighting.getLightCoeffs()) return std::fprintf(stderr, "lighting failed\n"), 1;
    // The irradiance of an upward normal (0, 0, 1) is the sum over row and column 3 and 4.
    const ixLinear::ProjMatrix& m = irradiance.blue;
    std::printf("blue irradiance facing up: %.4f\n", m.m[2][2] + 2 * m.m[2][3] + m.m[3][3]);

    EnvironmentMap* specular = lighting.getSpecularMap(PhongReflectance(16), nullptr);
    if (!specular) return std::fprintf(stderr, "no specular map\n"), 1;
    const auto& image = static_cast<const Float3Image&>(*specular->image);
    std::FILE* file = std::fopen("specular_phong_16.pfm", "wb");
    if (!file) return 1;
    std::fprintf(file, "PF\n%d %d\n-1.0\n", image.getWidth(),
                 image.getHeight());  // little-endian, bottom row first
    std::fwrite(image.data(), sizeof(FloatPixel3<float>),
                size_t(image.getWidth()) * image.getHeight(), file);
    std::fclose(file);
    std::printf("wrote specular_phong_16.pfm (%d x %d)\n", image.getWidth(), image.getHeight());
    return 0;
}
