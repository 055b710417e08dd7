#pragma once

#include <QImage>
#include <QString>

#include <filesystem>

namespace halvory::democontent {

// A 256 x 256 icon in the night-blue theme; the seed varies the motif per game.
QImage drawIcon(const QString& title, const QString& category, unsigned seed);
void saveJpeg(const QImage& image, const std::filesystem::path& file, int quality = 88);

}  // namespace halvory::democontent
