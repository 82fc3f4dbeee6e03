// The settings dialog (template 216): the snapshot folder, the live-recording
// folder and the map's offset-correction switch of section "Brightmere". OK
// saves what is sound and tells the map view the switch (0x47F); Cancel
// writes nothing.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace controls {
class CPictureButton;
}

namespace corvane {

class CSetting : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 216;
  enum ControlId : int {
    IDC_OK = 1,
    IDC_CANCEL = 2,
    IDC_MAPOFFSET = 1039,
    IDC_SNAP_LABEL = 1049,
    IDC_SNAP_EDIT = 1050,
    IDC_REC_LABEL = 1051,
    IDC_REC_EDIT = 1052,
    IDC_SNAP_BROWSE = 1053,
    IDC_REC_BROWSE = 1055,
  };
  // Folder texts may have at most this many characters.
  static constexpr int kMaxFolderChars = 240;
  // The message posted to the map view: wParam = the new MapOffset.
  static constexpr int kMsgMapOffset = 0x47F;

  // The folder chooser: (owner, title, starting folder) -> the chosen folder,
  // empty when the user cancelled. Tests put their own in place.
  using FolderChooser = std::function<QString(QWidget*, const QString&, const QString&)>;
  static void SetFolderChooser(FolderChooser chooser);

  explicit CSetting(QWidget* parent);

  // The map view to tell; none by default.
  void SetMapView(QObject* mapView) { mapView_ = mapView; }

  QLineEdit* snapshotEdit() const { return snapEdit_; }
  QLineEdit* recordEdit() const { return recEdit_; }
  QCheckBox* mapOffsetBox() const { return mapOffset_; }

 public slots:
  void accept() override;

 private:
  void ChooseFolder(QLineEdit* edit, const char* titleKey);

  QLineEdit* snapEdit_ = nullptr;
  QLineEdit* recEdit_ = nullptr;
  QCheckBox* mapOffset_ = nullptr;
  QPointer<QObject> mapView_;
};

}  // namespace corvane
