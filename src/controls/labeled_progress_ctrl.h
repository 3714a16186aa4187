// A progress bar that paints itself: the filled part in the bar colour, the
// rest in the background colour, and over both a centred label (the
// percentage done, or a text set by the owner) drawn twice, clipped to each
// part, so that with the default colours the label reads in the background
// colour over the bar and in the bar colour over the background.
//
// It keeps the interface of the standard progress control: one method per
// progress-bar message, with the same arguments, results and side effects.
// All methods are for the GUI thread only; a worker reaches the bar through
// calls queued onto that thread.
#pragma once

#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <string>

#include "controls/progress_bar_math.h"

namespace bramis {

class CLabeledProgressCtrl : public QWidget {
    Q_OBJECT

public:
    // A horizontal bar at position 0 of 0..100, step 1, label shown, default
    // colours. GUI thread.
    explicit CLabeledProgressCtrl(QWidget* parent = nullptr);

    // Sets the range from its packed 16-bit form: lower limit in the low
    // word, upper in the high word, both unsigned. Repaints nothing; the next
    // position change or paint uses the new range. Returns the previous range
    // in the same packed form. GUI thread.
    std::uint32_t SetRange(std::uint32_t packedRange);

    // Sets the range to lower..upper (signed). Repaints nothing; a range with
    // lower >= upper draws nothing at all. Returns the previous range packed
    // as SetRange takes it. GUI thread.
    std::uint32_t SetRange32(int lower, int upper);

    // Returns the lower limit when `wantLower` is true, else the upper limit;
    // fills `range` with both when it is not null. GUI thread.
    int GetRange(bool wantLower, PBRANGE* range = nullptr) const;

    // The current position, unclamped. GUI thread.
    int GetPos() const;

    // Moves to `position` (not clamped to the range). When the filled length
    // in pixels changes the bar repaints before this returns; otherwise
    // nothing is repainted, even if the percentage would read differently.
    // Returns the previous position. GUI thread.
    int SetPos(int position);

    // SetPos(GetPos() + increment); returns the previous position. GUI thread.
    int DeltaPos(int increment);

    // SetPos(GetPos() + step), without wrapping at the upper limit; returns
    // the previous position. GUI thread.
    int StepIt();

    // Sets the increment of StepIt; repaints nothing. Returns the previous
    // step. GUI thread.
    int SetStep(int step);

    // Colour setters: schedule a repaint, store `color` (kColorDefault brings
    // back the palette's colour: Highlight for the bar, Base for the
    // background, the swapped pair for the label) and return the previous
    // value as stored, kColorDefault included. GUI thread.
    ColorRef SetBarColor(ColorRef color);
    ColorRef SetBkColor(ColorRef color);
    ColorRef SetLabelColor(ColorRef color);

    // Shows or hides the label; schedules a repaint only when that changes.
    // A vertical bar never shows a label. GUI thread.
    void ShowLabel(bool show);

    // Sets the label text (UTF-8; null counts as empty). A non-empty text is
    // shown instead of the percentage. Schedules a repaint only when the text
    // differs byte for byte from the current one. GUI thread.
    void SetLabelText(const char* text);

    // Copies the label text into `buffer` of `size` bytes: at most size - 1
    // bytes and a NUL, never a partial UTF-8 character; nothing when `size`
    // is 0. Returns the bytes copied, without the NUL. GUI thread.
    std::size_t GetLabelText(char* buffer, std::size_t size) const;

    // Horizontal bars grow from the left, vertical ones from the bottom. A
    // change forgets the filled length and schedules a repaint. GUI thread.
    void SetOrientation(Qt::Orientation orientation);
    Qt::Orientation Orientation() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int Extent() const;
    QFont LabelFont() const;

    ColorRef m_crLabel = kColorDefault;
    int m_nPosition = 0;
    int m_nStep = 1;
    int m_nUpper = 100;
    int m_nLower = 0;
    std::string m_strLabel;
    bool m_bShowLabel = true;
    // Filled length at the last SetPos; -1 when none since construction or
    // the last resize, so that the next SetPos always repaints.
    int m_nFilledPixels = -1;
    ColorRef m_crBar = kColorDefault;
    ColorRef m_crBack = kColorDefault;
    Qt::Orientation m_orientation = Qt::Horizontal;
};

}  // namespace bramis
