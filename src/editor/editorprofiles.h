#pragma once

// What the editor model needs of the profile model: forgetting everything
// when the account changes. The profile model implements it; the editor
// holds it without owning the profile area's headers.
class EditorProfiles
{
public:
    virtual ~EditorProfiles() = default;
    virtual void clear() = 0;
};
