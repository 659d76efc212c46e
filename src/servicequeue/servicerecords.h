#pragma once

// Records the service tools print for tasks and proposals. They are only
// decoded, never encoded; identifiers and time stamps stay the text the tool
// printed. Each decode throws on the first missing, null or mistyped field.

#include "foundation/records/packagerecords.h"
#include "foundation/records/servicekind.h"

#include <QByteArray>
#include "foundation/decoding/strictjson.h"
#include <QList>
#include <QString>
#include <optional>

// A task's status as the tools print it. The word is decoded once, on
// construction; logic and views ask `is()`, `isClosed()` or `isWorkable()`.
// The printed word stays for grouping and equality, so two unknown words
// remain different, as they were when the status was plain text.
class ServiceStatus
{
public:
    enum Code { unknown, waiting, active, review, changesRequested, approved, cancelled };

    ServiceStatus() = default;
    ServiceStatus(const QString &text); // NOLINT(google-explicit-constructor): decoding is the point
    // Literal words, as fixtures write them.
    ServiceStatus(const char *text) : ServiceStatus(QString::fromUtf8(text)) {} // NOLINT(google-explicit-constructor)
    // A code already decoded (by a reader that checked the word).
    explicit ServiceStatus(Code code);

    // The code of one of the six words, none for any other text.
    static std::optional<Code> codeFromRaw(QStringView text);

    Code code() const { return m_code; }
    const QString &text() const { return m_text; }
    bool is(Code code) const { return m_code == code; }
    // Approved or cancelled: nothing more happens to the task.
    bool isClosed() const { return m_code == approved || m_code == cancelled; }
    // Claimed and open for work: active or with changes requested.
    bool isWorkable() const { return m_code == active || m_code == changesRequested; }

    friend bool operator==(const ServiceStatus &a, const ServiceStatus &b) { return a.m_text == b.m_text; }

private:
    QString m_text;
    Code m_code = unknown;
};

struct ServiceReceipt
{
    QString id;
    QString company_id;
    QString local_project_id;
    QString backup_id;
    QString source_fingerprint;
    QString title;
    ServiceKind kind = ServiceKind::filmEditing;
    ServiceStatus status;
    qint64 revision = 0;
    QString submitted_by;
    QString submitted_at;
    QString updated_at;
    std::optional<QString> claimed_by;
    std::optional<QString> claimed_at;
    std::optional<QString> latest_proposal_id;

    // Localized title of `status`; unknown codes read "Ukendt status".
    QString statusTitle() const;
    static QString statusTitle(const ServiceStatus &status);

    // The same task of the same submission: id, company, project, backup,
    // source fingerprint and kind equal as held (revision and status may move).
    bool sameTask(const ServiceReceipt &other) const;

    static ServiceReceipt fromJson(const JsonObjectReader &object);
};

struct ProposalContent
{
    struct ConceptOption
    {
        QString id, title, rationale, idea, purpose, audience, angle, message, call_to_action;
        static ConceptOption fromJson(const JsonObjectReader &object);
    };
    struct ScriptPart
    {
        QString id, title, text;
        static ScriptPart fromJson(const JsonObjectReader &object);
    };
    struct ProposalShot
    {
        QString id;
        QString title;
        QString instruction;
        QString kind; // a word of the tools, not a ServiceKind
        std::optional<QString> section_id;
        qint64 duration_seconds = 0;
        static ProposalShot fromJson(const JsonObjectReader &object);
    };
    struct ProposalSource
    {
        QString title, url, note;
        static ProposalSource fromJson(const JsonObjectReader &object);
    };
    struct ReviewVideo
    {
        QString source_export_id;
        QString bucket;
        QString object_key;
        QString sha256;
        QString content_type;
        QString editor_name;
        qint64 byte_count = 0;
        double duration_seconds = 0;
        bool editor_qc_confirmed = false;
        bool operator==(const ReviewVideo &) const = default;
        static ReviewVideo fromJson(const JsonObjectReader &object);
    };

    qint64 schemaVersion = 0;
    ServiceKind kind = ServiceKind::filmEditing;
    QString title;
    QString body;
    QStringList open_questions;
    QList<ConceptOption> concept_options;
    QList<ScriptPart> script_sections;
    QList<ProposalShot> shots;
    QList<ProposalSource> sources;
    std::optional<ReviewVideo> video;

    static ProposalContent fromJson(const JsonObjectReader &object);
};

struct ServiceProposal
{
    QString id;
    qint64 version_number = 0;
    ProposalContent content;
    QString created_at;
    static ServiceProposal fromJson(const JsonObjectReader &object);
};

struct ServiceDecision
{
    QString id;
    QString proposal_id;
    QString decision; // "approve", "request_changes", or any other word
    QString comment;
    QString created_at;
    std::optional<QString> selected_option_id;
    static ServiceDecision fromJson(const JsonObjectReader &object);
};

struct ServiceListing
{
    QString companyID;
    QString operatorID;
    QList<ServiceReceipt> requests;
    static ServiceListing fromJson(const JsonObjectReader &object);
    static ServiceListing decode(const QByteArray &json);
};

struct ServiceDetail
{
    ServiceReceipt request;
    QList<ServiceProposal> proposals;
    QList<ServiceDecision> decisions;
    static ServiceDetail fromJson(const JsonObjectReader &object);
    static ServiceDetail decode(const QByteArray &json);
};

struct ServiceClaim
{
    ServiceReceipt request;
    bool replayed = false;
    static ServiceClaim fromJson(const JsonObjectReader &object);
    static ServiceClaim decode(const QByteArray &json);
};

struct ServiceDownload
{
    QString companyID;
    QString packageID;
    QString folder;
    ServiceReceipt request;
    bool verified = false;
    std::optional<QString> projectFolder;
    std::optional<QString> projectManifest;
    std::optional<QString> diskStatus;
    static ServiceDownload fromJson(const JsonObjectReader &object);
    static ServiceDownload decode(const QByteArray &json);
};

struct ProposalFile
{
    QString file;
    QString notice;
    static ProposalFile fromJson(const JsonObjectReader &object);
    static ProposalFile decode(const QByteArray &json);
};

struct ServiceWorkspaces
{
    QList<PreparedHandoff> handoffs;
    static ServiceWorkspaces fromJson(const JsonObjectReader &object);
    static ServiceWorkspaces decode(const QByteArray &json);
};

struct ProposalPreview
{
    QString proposalID;
    QString requestID;
    QString handoffID;
    QString contentHash;
    QString file;
    QString notice;
    qint64 expectedRevision = 0;
    ProposalContent content;
    static ProposalPreview fromJson(const JsonObjectReader &object);
    static ProposalPreview decode(const QByteArray &json);
};

struct ProposalSent
{
    ServiceReceipt request;
    QString proposalID;
    qint64 version = 0;
    bool replayed = false;
    static ProposalSent fromJson(const JsonObjectReader &object);
    static ProposalSent decode(const QByteArray &json);
};
