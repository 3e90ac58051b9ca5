#include "app/qt/carried_image.h"

#include <QByteArray>
#include <QResource>

#ifndef LIRVAN_UPDATE_VERSION_WORD
#error "the build gives the carried image's version word"
#endif

std::uint32_t carried_update_version() { return LIRVAN_UPDATE_VERSION_WORD; }

CarriedImage carried_update_image()
{
    CarriedImage image;
    image.version_word = carried_update_version();
    const QResource resource(QStringLiteral(":/Update"));
    if (!resource.isValid()) return image;
    if (resource.compressionAlgorithm() == QResource::NoCompression) {
        // The build stores it uncompressed: the bytes are used where they lie.
        image.data = resource.data();
        image.size = static_cast<std::size_t>(resource.size());
    } else {
        // A compressed resource is unpacked once and kept for the whole run.
        static const QByteArray unpacked = resource.uncompressedData();
        image.data = reinterpret_cast<const std::uint8_t*>(unpacked.constData());
        image.size = static_cast<std::size_t>(unpacked.size());
    }
    return image;
}
