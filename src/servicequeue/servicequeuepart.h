#pragma once

#include <QObject>

// One capability of the service queue (its companies, the opened task, a
// video draft, ...): its own fields and one change signal. GUI thread only.
//
// Setters of comparable values notify only on a real change; setters of
// service records (which have no equality) notify on every assignment.
class ServiceQueuePart : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    // Any field of the part changed.
    void changed();

protected:
    template<class T>
    void set(T &field, const T &value)
    {
        if (field == value)
            return;
        field = value;
        Q_EMIT changed();
    }
    template<class T>
    void assign(T &field, T value)
    {
        field = std::move(value);
        Q_EMIT changed();
    }
};

// Calls `slot` on the part's changes that move the value `read(part)`: for
// a view that cares about one field's moments, not about every change.
template<class Part, class Read, class Slot>
QMetaObject::Connection connectPartValue(const Part &part, const QObject *context, Read read, Slot slot)
{
    return QObject::connect(&part, &Part::changed, context, [&part, read, slot, seen = read(part)]() mutable {
        auto now = read(part);
        if (now == seen)
            return;
        seen = std::move(now);
        slot();
    });
}

// A record field (notifies on every assignment) and a comparable field
// (notifies on a real change), each with its getter and setter; the
// optional last argument initialises the field.
#define TAVLON_PART_RECORD(Type, name, Setter, ...)                                                    \
public:                                                                                                 \
    const Type &name() const { return m_##name; }                                                       \
    void Setter(Type value) { assign(m_##name, std::move(value)); }                                    \
                                                                                                        \
private:                                                                                                \
    Type m_##name{__VA_ARGS__};
#define TAVLON_PART_VALUE(Type, name, Setter, ...)                                                     \
public:                                                                                                 \
    const Type &name() const { return m_##name; }                                                       \
    void Setter(const Type &value) { set(m_##name, value); }                                            \
                                                                                                        \
private:                                                                                                \
    Type m_##name{__VA_ARGS__};
