#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>

// The cancel of the task the calling thread works for, where work that cannot poll between steps
// looks for it: a statement over a database that came with a backup or a source file (Sqlite3DB)
// asks it while it runs. A thread works for no task (and is never cancelled) until it is bound to
// one; the progress dialog binds the worker that reports to it and the helpers that carry its scope.
class TaskCancel
{
public:
    // What the threads of one task share: set once the task is cancelled; ended once the task's
    // dialog is gone, so that a thread still bound to it later is no longer cancelled by it.
    struct Token {
        std::atomic<bool> cancelled { false };
        std::atomic<bool> ended { false };
        // How often its threads looked for the cancel: work between steps (a block copied, a
        // statement's steps), so a sign of life of a task that otherwise waits quietly.
        mutable std::atomic<std::uint64_t> looks { 0 };
    };

    // Thrown by work that stopped because its task was cancelled.
    class Cancelled : public std::runtime_error
    {
    public:
        Cancelled();
    };

    // Whether the task the calling thread works for is cancelled.
    static bool requested();
    // The token the calling thread is bound to (null when none), for the helpers it starts.
    static std::shared_ptr<const Token> ofThisThread();
    // Binds the calling thread to token (null: to no task) until it is bound again.
    static void bindThisThread(std::shared_ptr<const Token> token);
    // Whether the calling thread is bound to token: a check that costs no count of references.
    static bool boundTo(const Token* token);

    // Binds the calling thread to token while it lasts, then to the one before.
    class Scope
    {
    public:
        explicit Scope(std::shared_ptr<const Token> token);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        std::shared_ptr<const Token> m_before;
    };
};
