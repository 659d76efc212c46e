#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Counts how often one value read from a part of the service queue changed,
// read at each of the part's change signals.
template<class Value>
class PartChanges
{
public:
    template<class Part>
    PartChanges(const Part &part, std::function<Value()> read)
        : m_read(std::move(read)), m_seen(m_read()), m_context(std::make_unique<QObject>())
    {
        QObject::connect(&part, &Part::changed, m_context.get(), [this] {
            Value now = m_read();
            if (now == m_seen)
                return;
            m_seen = std::move(now);
            ++m_count;
        });
    }

    int count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }

private:
    std::function<Value()> m_read;
    Value m_seen;
    int m_count = 0;
    std::unique_ptr<QObject> m_context;
};
