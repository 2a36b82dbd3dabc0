#pragma once

class QPushButton;

// The control bar's buttons that change their look with a state: the whole
// style sheet is replaced, and the tip says what a click does.
void showPlayLook(QPushButton *button, bool playing);
void showSoundLook(QPushButton *button, bool muted);
void showFixGpsLook(QPushButton *button, bool on);
