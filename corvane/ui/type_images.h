// The 16 pictures of the record-type column: picture n shows the record
// types whose list bits (manual 8, timing 4, motion 2, alarm 1) sum to n.
#pragma once

#include <QPixmap>
#include <array>

namespace corvane {

const std::array<QPixmap, 16>& RecordTypeImages();

}  // namespace corvane
