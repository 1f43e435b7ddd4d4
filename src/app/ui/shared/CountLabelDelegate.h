#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

// Draws labels of the form "Name(count)" so that a label too wide for its column loses letters of
// the name, never of the count: "Call Hi…(1000)". Other labels are elided in the middle.
class CountLabelDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit CountLabelDelegate(QObject* parent = nullptr);

    // The label as it fits into `width` pixels.
    static QString fitted(const QFontMetrics& fm, const QString& text, int width);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
