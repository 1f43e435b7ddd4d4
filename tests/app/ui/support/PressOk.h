#pragma once

#include "app/ui/support/ModalAnswerer.h"

#include <QPushButton>

// A ModalAnswerer handler that presses the OK button (btnOK) of a dialog of that class, e.g. the
// device picker with the device it lists first.
template <class Dialog> ModalAnswerer::Handler pressOk()
{
    return [](QWidget* modal) {
        auto* dialog = qobject_cast<Dialog*>(modal);
        if (!dialog)
            return false;
        QMetaObject::invokeMethod(dialog->btnOK, &QPushButton::pressed, Qt::QueuedConnection);
        return true;
    };
}
