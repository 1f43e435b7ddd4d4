#pragma once

#include <QtGlobal>

class QAbstractItemModel;

// The longest text a view's delegate hands to the style to elide and draw, over every visible
// cell of model painted in a tree view of a usual size: what a paint costs grows with it.
class PaintedTexts
{
public:
    static qsizetype longest(QAbstractItemModel* model);
};
