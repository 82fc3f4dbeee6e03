#include "ui/rec_type_search.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QLabel>

#include "controls/control_id.h"
#include "controls/picture_button.h"
#include "core/calendar_model.h"
#include "core/text_codec.h"
#include "ui/dialog_texts.h"

namespace corvane {

namespace {
constexpr int64_t kDaySeconds = 86400;
// QDate's Julian day of 1970-01-01.
constexpr qint64 kEpochJulianDay = 2440588;
const RecordTypeMask kTypeBytes[4] = {kTypeManual, kTypeTiming, kTypeMotion, kTypeAlarm};
const char* const kTypeCaptions[4] = {"Manual", "Timing", "Motion", "Alarm"};
}  // namespace

int64_t DateToSeconds(const QDate& date) { return (date.toJulianDay() - kEpochJulianDay) * kDaySeconds; }

QDate DateOfSeconds(int64_t seconds) {
  const CivilDate d = CivilFromSeconds(seconds);
  return QDate(d.year, d.month, d.day);
}

CRecTpyeSearch::CRecTpyeSearch(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CRecTpyeSearch"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xD9, 0xEA, 0xF4));
  setPalette(pal);

  const struct {
    int id;
    const char* text;
  } kLabels[4] = {{IDC_TYPE_LABEL, "RecType"}, {IDC_START_LABEL, "StartTime"}, {IDC_END_LABEL, "EndTime"},
                  {IDC_CAR_LABEL, "CarNum"}};
  for (int i = 0; i < 4; ++i) {
    labels_[i] = new QLabel(QString::fromLatin1(kLabels[i].text), this);
    controls::SetControlId(labels_[i], kLabels[i].id);
  }
  for (int i = 0; i < 4; ++i) {
    types_[i] = new controls::CPictureButton(IDC_MANUAL + i, QString::fromLatin1(kTypeCaptions[i]), this);
    connect(types_[i], &QAbstractButton::clicked, this, [this, i] { SetTypeTicked(i, !ticked_[i]); });
    SetTypeTicked(i, true);
  }
  // Dates only: the picker's date is a UTC calendar day.
  const QDate today = DateOfSeconds(QDateTime::currentSecsSinceEpoch());
  start_ = new QDateEdit(today, this);
  end_ = new QDateEdit(today, this);
  for (QDateEdit* e : {start_, end_}) {
    e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    e->setCalendarPopup(true);
  }
  controls::SetControlId(start_, IDC_START);
  controls::SetControlId(end_, IDC_END);
  car_ = new QComboBox(this);
  controls::SetControlId(car_, IDC_CAR);
  search_ = new controls::CPictureButton(IDC_SEARCH, QStringLiteral("Search"), this);
  connect(search_, &QAbstractButton::clicked, this, &CRecTpyeSearch::SearchRequested);
  Reset();
  PlaceControls();
}

void CRecTpyeSearch::SetTypeTicked(int i, bool on) {
  if (i < 0 || i > 3) return;
  ticked_[i] = on;
  // The first picture for a ticked type, the second for a cleared one.
  types_[i]->SetPicture(on ? 0 : 1);
}

SearchFilter CRecTpyeSearch::GetFilter() const {
  SearchFilter f;
  for (int i = 0; i < 4; ++i)
    if (ticked_[i]) f.typeMask |= kTypeBytes[i];
  f.from = DateToSeconds(start_->date());
  f.to = DateToSeconds(end_->date());
  if (car_->currentIndex() > 0) f.carNumber = car_->currentData().toByteArray().toStdString();
  return f;
}

void CRecTpyeSearch::SetRange(RecordTypeMask typesSeen, int64_t earliestStart, int64_t latestEnd) {
  for (int i = 0; i < 4; ++i) SetTypeTicked(i, (typesSeen & kTypeBytes[i]) != 0);
  start_->setDate(DateOfSeconds(earliestStart));
  end_->setDate(DateOfSeconds(latestEnd));
}

void CRecTpyeSearch::AddCarNumber(const std::string& bytes) {
  car_->addItem(FromUtf8(DecodeForDisplay(bytes)),
                QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

void CRecTpyeSearch::Reset() {
  car_->clear();
  car_->addItem(LangText("IDS_RecTpyeSearch_All"), QByteArray());
  car_->setCurrentIndex(0);
}

void CRecTpyeSearch::ApplyTexts() {
  ApplyDialogTexts(this, kTemplateId);
  if (car_->count() > 0) car_->setItemText(0, LangText("IDS_RecTpyeSearch_All"));
  PlaceControls();
}

void CRecTpyeSearch::resizeEvent(QResizeEvent*) { PlaceControls(); }

void CRecTpyeSearch::PlaceControls() {
  const int w = width();
  const int labelW = 58, rowH = 22, gap = 4;
  int y = 4;
  labels_[0]->setGeometry(gap, y, labelW, rowH);
  const int typeW = std::max(20, (w - labelW - 3 * gap - 3 * 2) / 4);
  for (int i = 0; i < 4; ++i) types_[i]->setGeometry(labelW + 2 * gap + i * (typeW + 2), y, typeW, rowH);
  y += rowH + gap;
  const int dateW = std::max(40, (w - 2 * labelW - 5 * gap) / 2);
  labels_[1]->setGeometry(gap, y, labelW, rowH);
  start_->setGeometry(labelW + 2 * gap, y, dateW, rowH);
  labels_[2]->setGeometry(labelW + dateW + 3 * gap, y, labelW, rowH);
  end_->setGeometry(2 * labelW + dateW + 4 * gap, y, dateW, rowH);
  y += rowH + gap;
  const int searchW = 70;
  labels_[3]->setGeometry(gap, y, labelW, rowH);
  car_->setGeometry(labelW + 2 * gap, y, std::max(40, w - labelW - searchW - 4 * gap), rowH);
  search_->setGeometry(w - searchW - gap, y, searchW, rowH);
}

}  // namespace corvane
