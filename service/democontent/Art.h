#pragma once

#include <QImage>
#include <QString>

#include <filesystem>

namespace hv::democontent {

// A 256 x 256 icon in the night-blue theme; the seed varies the motif per game.
QImage DrawIcon(const QString& title, const QString& category, unsigned seed);
void SaveJpeg(const QImage& image, const std::filesystem::path& file, int quality = 88);

}  // namespace hv::democontent
