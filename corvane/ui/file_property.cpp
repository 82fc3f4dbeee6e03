#include "ui/file_property.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <cctype>
#include <cstdio>

#include "controls/control_id.h"
#include "core/catalogue.h"
#include "ui/dialog_texts.h"

namespace corvane {

namespace {
std::string Format(const char* format, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  const std::size_t n = std::char_traits<char>::length(suffix);
  if (s.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  return true;
}
}  // namespace

FilePropertyData PropertyDataOf(const std::string& path, const RecFileInfo& info) {
  FilePropertyData d;
  d.path = path;
  d.typeText = EndsWithNoCase(path, ".krv") ? ".krv" : ".avi";
  d.fileSize = RecordFileSize(path);
  d.duration = static_cast<uint32_t>(static_cast<uint64_t>(info.duration));
  if (info.channel < 0) {
    for (int c = 0; c < 4; ++c) {
      d.width[c] = info.width[c];
      d.height[c] = info.height[c];
      d.videoBitrate[c] = info.videoBitrate[c];
      d.frameRate[c] = info.frameRate[c];
    }
  } else if (info.channel < 4) {
    // An AVI file holds one channel; its probe reports it first.
    const int c = info.channel;
    d.width[c] = info.width[0];
    d.height[c] = info.height[0];
    d.videoBitrate[c] = info.videoBitrate[0];
    d.frameRate[c] = info.frameRate[0];
  }
  return d;
}

std::string PropertySizeText(uint64_t bytes) {
  // The divided values are single precision, as the recorder's tools print them.
  if (bytes >> 20) return Format("%.2f MB", static_cast<double>(static_cast<float>(bytes) / 1024.0f / 1024.0f));
  if (bytes >> 10) return Format("%.2f KB", static_cast<double>(static_cast<float>(bytes) / 1024.0f));
  return std::to_string(bytes) + " B";
}

std::string PropertyDurationText(uint32_t s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", s / 3600, (s / 60) % 60, s % 60);
  return buf;
}

std::string PropertyBitrateText(int64_t bitsPerSecond) {
  return Format("%.3f kbps", static_cast<double>(static_cast<float>(bitsPerSecond) / 1000.0f));
}

std::string PropertyResolutionText(int32_t width, int32_t height) {
  return std::to_string(width) + " X " + std::to_string(height) + " ";
}

std::string PropertyFrameRateText(int32_t fps) { return std::to_string(fps) + " fps"; }

FileProperty::FileProperty(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FileProperty"));
  setWindowTitle(QStringLiteral("Property"));
  auto* grid = new QGridLayout(this);
  int row = 0;
  auto addRow = [&](QGridLayout* g, int r, const char* label, int id) {
    g->addWidget(new QLabel(QString::fromLatin1(label)), r, 0);
    auto* value = new QLabel();
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    controls::SetControlId(value, id);
    g->addWidget(value, r, 1);
  };
  addRow(grid, row++, "File type:", IDC_TYPE);
  addRow(grid, row++, "File size:", IDC_SIZE);
  addRow(grid, row++, "Duration:", IDC_DURATION);
  addRow(grid, row++, "Bitrate:", IDC_BITRATE);
  addRow(grid, row++, "File path:", IDC_PATH);
  auto* channels = new QGridLayout();
  for (int c = 0; c < 4; ++c) {
    auto* group = new QGroupBox(QStringLiteral("channel %1").arg(c + 1));
    auto* g = new QGridLayout(group);
    addRow(g, 0, "Resolution:", IDC_RESOLUTION0 + 6 * c);
    addRow(g, 1, "Bitrate:", IDC_CHBITRATE0 + 6 * c);
    addRow(g, 2, "Frame rate:", IDC_FRAMERATE0 + 6 * c);
    channels->addWidget(group, c / 2, c % 2);
  }
  grid->addLayout(channels, row++, 0, 1, 2);
  auto* ok = new QPushButton(QStringLiteral("OK"));
  controls::SetControlId(ok, IDC_OK);
  connect(ok, &QPushButton::clicked, this, &QWidget::hide);
  grid->addWidget(ok, row, 1, Qt::AlignRight);
}

QString FileProperty::Text(int controlId) const {
  for (QLabel* l : findChildren<QLabel*>())
    if (controls::ControlId(l) == controlId) return l->text();
  return {};
}

void FileProperty::Show() {
  auto set = [this](int id, const std::string& text) {
    for (QLabel* l : findChildren<QLabel*>())
      if (controls::ControlId(l) == id) l->setText(FromUtf8(text));
  };
  const FilePropertyData& d = data_;
  set(IDC_TYPE, d.typeText);
  set(IDC_SIZE, PropertySizeText(d.fileSize));
  set(IDC_DURATION, PropertyDurationText(d.duration));
  int64_t total = 0;
  for (int c = 0; c < 4; ++c) total += d.videoBitrate[c];
  set(IDC_BITRATE, PropertyBitrateText(total));
  set(IDC_PATH, d.path);
  for (int c = 0; c < 4; ++c) {
    set(IDC_RESOLUTION0 + 6 * c, PropertyResolutionText(d.width[c], d.height[c]));
    set(IDC_CHBITRATE0 + 6 * c, PropertyBitrateText(d.videoBitrate[c]));
    set(IDC_FRAMERATE0 + 6 * c, PropertyFrameRateText(d.frameRate[c]));
  }
  show();
  raise();
}

}  // namespace corvane
