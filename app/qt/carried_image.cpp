#include "app/qt/carried_image.h"

#include <QByteArray>
#include <QResource>

namespace {

// A resource's bytes; a compressed one is unpacked into `keep`, which must live for the run.
QByteArrayView resource_bytes(const QResource& resource, QByteArray& keep)
{
    if (resource.compressionAlgorithm() == QResource::NoCompression)
        return QByteArrayView(resource.data(), resource.size());  // used where they lie
    keep = resource.uncompressedData();
    return QByteArrayView(keep);
}

}  // namespace

std::uint32_t carried_update_version()
{
    const QResource resource(QStringLiteral(":/UpdateVersion"));
    if (!resource.isValid()) return 0;
    QByteArray keep;
    bool ok = false;
    const std::uint32_t word = resource_bytes(resource, keep).toByteArray().trimmed().toUInt(&ok);
    return ok ? word : 0;
}

CarriedImage carried_update_image()
{
    CarriedImage image;
    const QResource resource(QStringLiteral(":/Update"));
    if (!resource.isValid()) return image;  // this executable carries none
    static QByteArray unpacked;  // only for a compressed resource; kept for the whole run
    const QByteArrayView bytes = resource_bytes(resource, unpacked);
    image.data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    image.size = static_cast<std::size_t>(bytes.size());
    image.version_word = carried_update_version();
    return image;
}
