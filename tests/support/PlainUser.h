#pragma once

#include <QString>

// While alive, the calling thread is held to files' permissions as any user is, also when the
// tests run as root: its effective capabilities that override them (reading and searching any
// folder, writing any file) are dropped, and given back at the end. Other threads keep theirs.
class PlainUser
{
public:
    PlainUser();
    ~PlainUser();
    PlainUser(const PlainUser&) = delete;
    PlainUser& operator=(const PlainUser&) = delete;

    // Whether permissions now hold for this thread; else whyNot() says why (for QSKIP).
    bool holdsToPermissions() const { return m_whyNot.isEmpty(); }
    QString whyNot() const { return m_whyNot; }

private:
    QString m_whyNot;
    bool m_dropped = false;
};
