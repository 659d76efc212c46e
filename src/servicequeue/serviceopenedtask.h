#pragma once

#include "servicequeuepart.h"
#include "servicerecords.h"

// The chosen company's task list and the task opened from it: its detail
// (the history), its downloaded package, and the package's context read
// inline and for the brief sheet.
//
// Records have no equality to compare, so the part counts the assignments
// of each field: a view that follows some fields watches their counts with
// `connectPartValue` (a sheet replaced on every assignment, equal or not,
// keeps that moment).
class ServiceOpenedTask : public ServiceQueuePart
{
    Q_OBJECT

public:
    using ServiceQueuePart::ServiceQueuePart;

    struct Assignments
    {
        quint64 listing = 0;
        quint64 detail = 0;
        quint64 download = 0;
        quint64 packageContext = 0;
        quint64 inlineBrief = 0;
        friend bool operator==(const Assignments &, const Assignments &) = default;
    };
    const Assignments &assignments() const { return m_assignments; }

    const std::optional<ServiceListing> &listing() const { return m_listing; }
    void setListing(std::optional<ServiceListing> value);

    const std::optional<ServiceDetail> &detail() const { return m_detail; }
    // Also brings the listed row of the task up to date, unless the listed row is the newer.
    void setDetail(std::optional<ServiceDetail> value);
    const std::optional<ServiceDownload> &download() const { return m_download; }
    void setDownload(std::optional<ServiceDownload> value);
    // What the brief sheet shows; none closes it.
    const std::optional<PackageContext> &packageContext() const { return m_packageContext; }
    void setPackageContext(std::optional<PackageContext> value);
    const std::optional<PackageContext> &inlineBrief() const { return m_inlineBrief; }
    void setInlineBrief(std::optional<PackageContext> value);

    // The opened task goes; the list stays.
    void close();
    // The list and the opened task go.
    void clear();

private:
    void updateListingFromDetail();
    template<class T>
    void counted(T &field, T value, quint64 &count)
    {
        field = std::move(value);
        ++count;
        Q_EMIT changed();
    }

    Assignments m_assignments;
    std::optional<ServiceListing> m_listing;

    std::optional<ServiceDetail> m_detail;
    std::optional<ServiceDownload> m_download;
    std::optional<PackageContext> m_packageContext;
    std::optional<PackageContext> m_inlineBrief;
};

// Calls `slot` on the task's changes that assigned one of `fields`.
template<class Slot>
QMetaObject::Connection connectAssigned(const ServiceOpenedTask &task, const QObject *context,
                                        QList<quint64 ServiceOpenedTask::Assignments::*> fields, Slot slot)
{
    const auto counts = [fields](const ServiceOpenedTask &t) {
        QList<quint64> result;
        for (const auto field : fields)
            result.append(t.assignments().*field);
        return result;
    };
    return connectPartValue(task, context, counts, std::move(slot));
}
