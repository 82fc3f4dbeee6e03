// The file-properties dialog (template 235, caption "Property"): what the
// catalogue knows of one recording. Made hidden with the main window, filled
// from a row when the row is right-clicked, shown by the list menu's
// "Property", hidden by OK. Its texts are the template's own.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class QLabel;

namespace corvane {

struct RecFileInfo;

struct FilePropertyData {
  std::string path;
  std::string typeText;  // ".krv" or ".avi"
  uint64_t fileSize = 0;
  uint32_t duration = 0;  // seconds
  int32_t width[4] = {0, 0, 0, 0};
  int32_t height[4] = {0, 0, 0, 0};
  int32_t videoBitrate[4] = {0, 0, 0, 0};  // bits per second
  int32_t frameRate[4] = {0, 0, 0, 0};
};

// The facts of a list row: the type from its path's extension, the size of
// the file as it is now, an AVI file's facts under its own channel (the
// others 0).
FilePropertyData PropertyDataOf(const std::string& path, const RecFileInfo& info);

// The texts the dialog shows.
std::string PropertySizeText(uint64_t bytes);              // "1.00 MB", "1023.00 KB", "1023 B"
std::string PropertyDurationText(uint32_t seconds);        // "hh:mm:ss"
std::string PropertyBitrateText(int64_t bitsPerSecond);    // "%.3f kbps"
std::string PropertyResolutionText(int32_t width, int32_t height);  // "%d X %d "
std::string PropertyFrameRateText(int32_t fps);            // "%d fps"

class FileProperty : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 235;
  enum ControlId : int {
    IDC_OK = 1059,
    IDC_TYPE = 1066,
    IDC_SIZE = 1068,
    IDC_DURATION = 1070,
    IDC_BITRATE = 1072,
    IDC_PATH = 1074,
    IDC_RESOLUTION0 = 1078,  // + 6 per channel
    IDC_CHBITRATE0 = 1080,
    IDC_FRAMERATE0 = 1082,
  };

  explicit FileProperty(QWidget* parent);

  void SetData(const FilePropertyData& data) { data_ = data; }
  const FilePropertyData& data() const { return data_; }
  // Writes the texts and shows the dialog.
  void Show();
  // The text of a control by id ("" when there is none).
  QString Text(int controlId) const;

 private:
  FilePropertyData data_;
};

}  // namespace corvane
