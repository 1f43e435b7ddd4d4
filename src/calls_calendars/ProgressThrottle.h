#pragma once

// Says when a long loop should post its progress: whenever the whole percent changes (so at most
// about a hundred posts, the last one at 100), not for every row.
class ProgressThrottle
{
public:
    bool due(int percent)
    {
        if (percent == m_last)
            return false;
        m_last = percent;
        return true;
    }

private:
    int m_last = -1;
};
