#include "app/TaskCancel.h"

#include <utility>

namespace
{
thread_local std::shared_ptr<const TaskCancel::Token> t_token;
} // namespace

TaskCancel::Cancelled::Cancelled()
    : std::runtime_error("The work was cancelled.")
{
}

bool TaskCancel::requested()
{
    const TaskCancel::Token* token = t_token.get();
    if (token)
        token->looks.fetch_add(1, std::memory_order_relaxed);
    return token && token->cancelled.load(std::memory_order_relaxed)
        && !token->ended.load(std::memory_order_relaxed);
}

std::shared_ptr<const TaskCancel::Token> TaskCancel::ofThisThread()
{
    return t_token;
}

void TaskCancel::bindThisThread(std::shared_ptr<const Token> token)
{
    t_token = std::move(token);
}

bool TaskCancel::boundTo(const Token* token)
{
    return t_token.get() == token;
}

TaskCancel::Scope::Scope(std::shared_ptr<const Token> token)
    : m_before(t_token)
{
    bindThisThread(std::move(token));
}

TaskCancel::Scope::~Scope()
{
    bindThisThread(std::move(m_before));
}
