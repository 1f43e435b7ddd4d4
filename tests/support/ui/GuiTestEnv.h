#pragma once

class QWidget;
class QString;

namespace GuiTestEnv
{

// Saves a picture of the widget as PNG under QM_SCREENSHOT_DIR (when set), for looking at by hand.
void screenshot(QWidget* widget, const QString& name);
// The same of a window with another (a message box it opened) on top, each where it is on screen.
void screenshotOver(QWidget* window, QWidget* over, const QString& name);
// Asks the program to quit as the system does (once the event loop runs): its windows are closed,
// its event loops told to end.
void askToQuit();
// Lets event loops run again after askToQuit; called outside every event loop.
void resumeAfterQuit();
// Waits (at most 30 s) until the page has read its data (it reads beside the window); false when it
// has not.
bool pageRead(const QWidget* page);

} // namespace GuiTestEnv
