#pragma once

#include <QObject>
#include <functional>

class QWidget;

// Lets a page take one of two arrangements by its width: the wide one when the page has room for
// it, the narrow one otherwise. The page's minimum size is that of the narrow arrangement, so a
// narrow window shrinks the page (and scrolls it below that) instead of being held wide by it.
class WidthSwitch : public QObject
{
public:
    // arrange(true) and arrange(false) lay the page's widgets out in its layout; the page must
    // have its layout and widgets already. Owned by the page.
    WidthSwitch(QWidget* page, std::function<void(bool wide)> arrange);

    bool isWide() const { return m_wide; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_page;
    std::function<void(bool wide)> m_arrange;
    int m_wideWidth = 0;
    bool m_wide = false;
};
