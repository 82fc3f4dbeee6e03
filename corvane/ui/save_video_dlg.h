// The save dialog of the export: Qt's own (non-native) file dialog with a
// panel that chooses the channels: the selected window's, or any of
// channels 1-4, and whether to remember that choice. The name box holds
// the proposed name, or one name per checked channel in quotation marks.
//
// The choice word (WaveConfig/SaveParam): bit 0 remember, bit 1 selected
// window, bits 2-5 channels 1-4.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

class QCheckBox;

namespace corvane {

class CSaveVideoFileDlg : public QFileDialog {
  Q_OBJECT
 public:
  enum : int {
    IDC_SELECTED_WINDOW = 1107,
    IDC_REMEMBER = 1108,
    IDC_CHANNEL1 = 1109,  // ... IDC_CHANNEL1 + 3 = 1112
  };
  enum : unsigned {
    kRemember = 1u,
    kSelectedWindow = 2u,
    kChannel1 = 4u,  // channel k: 4 << (k - 1)
  };

  // proposedName: the full proposed name (no folder); folder: where the
  // dialog starts; choice: the stored choice word.
  CSaveVideoFileDlg(QWidget* parent, const QString& proposedName, const QString& folder, unsigned choice,
                    bool sha256, bool gpx);

  // The panel's toggles, as clicking the boxes does.
  void ToggleSelectedWindow();
  void ToggleChannel(int k);  // 1-4
  void ToggleRemember();

  bool SelectedWindow() const { return selectedWindow_; }
  bool Channel(int k) const { return channels_[k - 1]; }
  bool Remember() const { return remember_; }
  bool Sha256() const;
  bool Gpx() const;
  // The word to store: remember | selected window x 2 | channel k x 2^(k+1).
  unsigned ChoiceWord() const;
  // The name box's text.
  QString NameText() const;
  const QString& BaseName() const { return base_; }
  const QString& Extension() const { return extension_; }
  // The name of channel k (1-4): base name, two digits, extension.
  QString ChannelName(int k) const;

  // After OK: the chosen paths, in the order typed (".avi" added to a name
  // without extension).
  QStringList ChosenPaths() const;

  // Why OK cannot close the dialog now (no channel chosen, fewer names than
  // channels, ...), or empty.
  QString CheckChoice() const;

 public slots:
  void accept() override;

 private:
  void SyncBoxes();
  void RebuildName();

  QString proposed_;
  QString base_;
  QString extension_;
  bool selectedWindow_ = true;
  bool channels_[4] = {false, false, false, false};
  bool remember_ = false;
  QCheckBox* selectedBox_ = nullptr;
  QCheckBox* rememberBox_ = nullptr;
  QCheckBox* channelBoxes_[4] = {};
  QCheckBox* sha256Box_ = nullptr;
  QCheckBox* gpxBox_ = nullptr;
  bool syncing_ = false;
};

}  // namespace corvane
