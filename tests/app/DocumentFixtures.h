#pragma once

#include <filesystem>

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

// Documents made at test time for the widget tests.
namespace tavori::test {

inline QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// A PDF of `pages` pages of the given size in points, each with a heading.
inline void writePdf(const std::filesystem::path& path, QSizeF pagePoints = {595, 842}, int pages = 1) {
    QPdfWriter writer(qpath(path));
    writer.setPageSize(QPageSize(pagePoints, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) writer.newPage();
        painter.setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 18));
        painter.drawText(QPointF(writer.width() * 0.1, writer.height() * 0.1),
                         QStringLiteral("領収書 %1 / 合計 ¥1,100").arg(page + 1));
        painter.drawRect(
            QRectF(writer.width() * 0.1, writer.height() * 0.2, writer.width() * 0.8, writer.height() * 0.5));
    }
}

// A photographed receipt: white paper on a grey table.
inline void writeImage(const std::filesystem::path& path, QSize size = {600, 900}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(90, 90, 96));
    QPainter painter(&image);
    painter.fillRect(QRect(size.width() / 6, size.height() / 12, size.width() * 2 / 3, size.height() * 5 / 6),
                     Qt::white);
    painter.setFont(QFont(QStringLiteral("Noto Sans CJK JP"), size.width() / 30));
    painter.setPen(Qt::black);
    const int left = size.width() / 6 + size.width() / 20;
    painter.drawText(QPoint(left, size.height() / 5), QStringLiteral("セブンイレブン 渋谷店"));
    painter.drawText(QPoint(left, size.height() / 5 + size.width() / 12), QStringLiteral("2024年1月5日"));
    painter.drawText(QPoint(left, size.height() / 2), QStringLiteral("合計  ¥1,100"));
    painter.end();
    image.save(qpath(path));
}

}  // namespace tavori::test
