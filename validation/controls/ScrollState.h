// The scrolling arithmetic of CScrollDialog: a dialog made smaller than its
// initial client height scrolls its contents in steps of 4 pixels.
#pragma once

// Scroll-bar request codes.
constexpr int SB_LINEUP = 0;
constexpr int SB_LINEDOWN = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_TOP = 6;
constexpr int SB_BOTTOM = 7;
constexpr int SB_ENDSCROLL = 8;

class ScrollState {
public:
    static constexpr int kStepPixels = 4;

    // Remembers the client height at initialisation; position 0.
    void Initialise(int clientHeight);
    bool Initialised() const { return m_initialised; }

    // After a resize: the contents go back to the top (the returned pixel
    // count scrolls them down by 4 x the old position), then the range
    // becomes (initial - current height) / 4, at least 0, with the page of
    // the same size, and the position is clamped to it.
    int OnSize(int clientHeight);

    // A scroll-bar request: the pixels to scroll the contents by (negative
    // moves them up), 0 when the position does not change.
    int OnVScroll(int code, int thumbPosition);

    int Position() const { return m_position; }
    int Maximum() const { return m_maximum; }
    int Page() const { return m_page; }

private:
    bool m_initialised = false;
    int m_initialHeight = 0;
    int m_position = 0;
    int m_maximum = 0;
    int m_page = 0;
};
