#pragma once
// What the window's concerns act on, made by the frame and handed to each of them: the window
// that owns their dialogs and boxes, the prompter that shows those, the encoders listed, the
// exchanges, the commands, the device list and the activity log. None of them is owned here.

class QWidget;
class CPrompter;
class EncoderList;
class CExchangeController;
class CFrameCommands;
class CDeviceTree;
class CActivityLog;

struct FrameParts {
    QWidget& window;
    CPrompter& prompter;
    EncoderList& encoders;
    CExchangeController& exchanges;
    CFrameCommands& commands;
    CDeviceTree& deviceTree;
    CActivityLog& log;
};
