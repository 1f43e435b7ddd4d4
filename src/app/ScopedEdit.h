#pragma once

#include <QtGlobal>
#include <exception>

// One edit of a store (AbsDb or AbsLocalDb) tied to a scope: begun here, committed by commit(),
// rolled back when the scope is left without it (an exception passing, say). A failing batch so
// ends its own edit, and only that one: the edits of its callers stay open with their work.
template <class Store> class ScopedEdit
{
public:
    explicit ScopedEdit(Store& store)
        : m_store(store)
    {
        m_store.beginEdit();
    }
    ~ScopedEdit()
    {
        if (!m_open)
            return;
        try {
            m_store.endEdit(false);
        } catch (const std::exception& e) {
            qWarning("ScopedEdit: rollback failed: %s", e.what());
        }
    }
    ScopedEdit(const ScopedEdit&) = delete;
    ScopedEdit& operator=(const ScopedEdit&) = delete;

    // Commits the edit; when that throws, the edit stays open and the scope's end rolls it back.
    void commit()
    {
        m_store.endEdit(true);
        m_open = false;
    }

private:
    Store& m_store;
    bool m_open = true;
};
