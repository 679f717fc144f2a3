#include "TavoriName/FileDrop.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QMimeData>
#include <QUrl>

namespace tavori::FileDrop {

namespace {

const QString uriListType = QStringLiteral("text/uri-list");

// The path of a local file URL as the bytes of its name; nothing for other URLs.
std::optional<std::filesystem::path> localPath(const QByteArray& uri) {
    const QUrl url = QUrl::fromEncoded(uri, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // Percent-decoding the encoded path ourselves keeps names that are not UTF-8 exact; QUrl's decoded form
    // would turn their bytes into replacement characters.
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty() || bytes.front() != '/' || bytes.contains('\0')) return std::nullopt;
    return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace

bool canAccept(const QMimeData& data) {
    return data.hasFormat(uriListType);
}

std::optional<std::vector<std::filesystem::path>> files(const QMimeData& data) {
    if (!canAccept(data)) return std::nullopt;
    std::vector<std::filesystem::path> paths;
    // The raw list rather than QMimeData::urls(), which decodes each URL to text first.
    const QByteArray list = data.data(uriListType);
    for (QByteArray line : list.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (auto path = localPath(line)) paths.push_back(std::move(*path));
    }
    return paths;
}

}  // namespace tavori::FileDrop
