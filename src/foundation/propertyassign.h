#pragma once

// The setters of the models' notifying properties: a field takes a new
// value, and only a change counts (and notifies).

// Gives `field` the value `value`; true when that changed it.
template<class T>
bool assignChanged(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// assignChanged, and on a change `owner` emits `changed`.
template<class Owner, class T>
bool assignProperty(Owner *owner, T &field, const T &value, void (Owner::*changed)())
{
    if (!assignChanged(field, value))
        return false;
    (owner->*changed)();
    return true;
}
