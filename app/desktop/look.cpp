// The look of the desktop window: its style and palette, the toolkit's words
// in the host's language and the pictures as images.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyle>
#include <QStyleFactory>
#include <QTranslator>
#include <cstring>

#include "app/desktop/view.h"
#include "app/desktop/view_parts.h"
#include "form/pictures.h"

namespace win {

using namespace view;

namespace {

bool german = false;  // the toolkit's words are German (SpeakTheHostLanguage)

}  // namespace

bool SpeakTheHostLanguage(const QLocale& locale) {
  static QTranslator* qt = nullptr;
  if (qt != nullptr) {
    QCoreApplication::removeTranslator(qt);
    delete qt;
    qt = nullptr;
  }
  german = locale.language() == QLocale::German;
  auto* translator = new QTranslator;
  if (!translator->load(locale, "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return german;
  }
  QCoreApplication::installTranslator(translator);
  qt = translator;
  return true;
}

QString ToolkitWord(const char* english) {
  // Qt's own words of its file dialog where its translation has them; the
  // window's own German for the rest.
  static const struct {
    const char* english;
    const char* qtSource;
    const char* german;
  } kWords[] = {
      {"Look in:", "Look in:", "Suchen in:"},
      {"File name:", "File &name:", "Datei&name:"},
      {"Files of type:", "Files of type:", "Dateien des Typs:"},
      {"Folders", nullptr, "Ordner"},
      {"Files", nullptr, "Dateien"},
      {kFileNotFound, kFileNotFound, "%1\nDatei nicht gefunden.\nÜberprüfen Sie den Dateinamen."}};
  for (const auto& w : kWords) {
    if (std::strcmp(w.english, english) != 0) continue;
    if (w.qtSource != nullptr) {
      const QString translated = QCoreApplication::translate("QFileDialog", w.qtSource);
      if (translated != QLatin1String(w.qtSource)) return translated;
    }
    if (german) return QString::fromUtf8(w.german);
    return QCoreApplication::translate("Start_Config", english);
  }
  return QCoreApplication::translate("Start_Config", english);
}

QImage PictureImage(const ui::Picture& picture, bool enabled) {
  if (picture.Empty()) return {};
  if (!picture.rows.empty()) {
    QImage image(picture.width, picture.height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < picture.height && y < static_cast<int>(picture.rows.size()); ++y) {
      const std::string& row = picture.rows[y];
      for (int x = 0; x < picture.width && x < static_cast<int>(row.size()); ++x)
        if (row[x] != '.') image.setPixel(x, y, 0xFF000000u | InkRgb(row[x], enabled));
    }
    return image;
  }
  const std::optional<ui::Pixels> pixels = ui::ReadBitmapPixels(picture.source);
  if (!pixels) return {};
  QImage image(pixels->width, pixels->height, QImage::Format_RGB32);
  for (int y = 0; y < pixels->height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < pixels->width; ++x)
      line[x] = 0xFF000000u | pixels->rgb[static_cast<size_t>(y) * pixels->width + x];
  }
  return image;
}

// Fusion with the classic grey of the layout's colours.
void UseClassicLook(QApplication& application) {
  application.setStyle(QStyleFactory::create("Fusion"));
  QPalette palette = application.style()->standardPalette();
  const QColor grey(192, 192, 192);
  palette.setColor(QPalette::Window, grey);
  palette.setColor(QPalette::Button, grey);
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Highlight, QColor(0, 0, 128));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::ButtonText, Qt::black);
  palette.setColor(QPalette::Text, Qt::black);
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
  application.setPalette(palette);
}

}  // namespace win
