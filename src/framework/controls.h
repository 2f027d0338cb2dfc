#pragma once
// The controls a dialog template can hold. Each is a Window over the toolkit's control, so that
// other threads can reach it through its handle. The dialog builds them from its template. UI
// thread only, except through handles.

#include <cstddef>
#include <string>
#include <string_view>

#include "framework/window.h"

namespace fw {

class Control : public Window {
  public:
    Control(int id, NativeWindow widget);
    int Id() const { return id_; }
    // The text a label or button shows.
    void SetWindowText(const std::string& text) override;
    std::string GetWindowText() const override;
    // Widens the control to the right where `text` in its font would not fit: a font that stands
    // in for the template's may have wider glyphs than the layout was made for.
    void WidenToFit(std::string_view text);

  private:
    int id_;
};

// A multi-line edit control. Its text keeps lines ended by "\r\n" and positions count bytes of that
// UTF-8 text, so that the reader's selection arithmetic (end = length of the text) holds.
class EditControl : public Control {
  public:
    EditControl(int id, NativeWindow edit);

    std::string GetText() const;
    void SetText(std::string_view text);
    // Adds `text` at the end without rewriting what is there: the cost does not grow with the text.
    void AppendText(std::string_view text);
    std::size_t TextLength() const { return length_; }
    void SetWindowText(const std::string& text) override { SetText(text); }
    std::string GetWindowText() const override { return GetText(); }
    void SetSel(std::size_t start, std::size_t end);
    void ScrollCaret();

    // WM_GETTEXT, WM_SETTEXT, WM_GETTEXTLENGTH, EM_SETSEL, EM_SCROLLCARET.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    int ToDocumentPosition(std::size_t bytePosition) const;
    std::size_t length_ = 0;
};

// A progress bar. Range and positions are 16-bit values; stepping past the upper bound starts over
// from the lower one, which the percentage arithmetic of its callers expects.
class ProgressBar : public Control {
  public:
    ProgressBar(int id, NativeWindow bar);

    void SetRange(int lower, int upper);
    int SetStep(int step);     // returns the previous step
    int SetPos(int position);  // returns the previous position
    int StepIt();              // returns the previous position
    // Where a position stands after one step: past the upper bound it starts over from the lower
    // one, below the lower bound it stays there.
    static long long NextPosition(long long position, long long step, int lower, int upper);
    int Position() const { return position_; }

    // PBM_SETRANGE, PBM_SETPOS, PBM_SETSTEP, PBM_STEPIT.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Show();
    int lower_ = 0;
    int upper_ = 100;
    int step_ = 10;
    int position_ = 0;
};

class ButtonControl : public Control {
  public:
    ButtonControl(int id, NativeWindow button);
    void SetCheck(int state);
    int GetCheck() const;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// Static text; the window text is the label's text.
class StaticControl : public Control {
  public:
    using Control::Control;
};

}  // namespace fw
