#pragma once

#include "RowTreeGeometry.h"

#include <QFrame>

class CRowTree;

// The optional description pane below the rows of a CRowTree.
class CRowTreeInfo : public QFrame {
    Q_OBJECT
public:
    static constexpr int kChildId = kUnaddressedId;
    explicit CRowTreeInfo(CRowTree* owner);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CRowTree* m_owner;
};
