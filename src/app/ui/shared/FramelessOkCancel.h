#pragma once

class QDialog;
class QPushButton;
class QRect;

// The OK and Cancel buttons of a small frameless dialog; both are owned by the dialog.
struct FramelessOkCancel {
    QPushButton* ok;
    QPushButton* cancel;
};

// Adds the "确定" / "取消" button row at `rowGeometry` (object names layoutWidget, btnOK, btnClose),
// then makes the dialog frameless, styled and draggable. The texts are looked up under the dialog's
// own class name, as its tr() would. Signals are left to the caller.
FramelessOkCancel setUpFramelessOkCancel(QDialog* dialog, const QRect& rowGeometry);
