"""Companies, films, tasks, proposals, decisions, reactions and backups of the demo service.

Every id comes from a fixed name and every time is a fixed number of hours from the moment of the
reset, so a reset always gives the same content, dated as a working day that is going on now."""
import hashlib
import json
from datetime import datetime, timedelta, timezone

from . import media
from .seed import EDITOR_ID, SECOND_EDITOR_ID, fixed_id

# Demo times are hours from EPOCH, which lies this long before the reset: the newest demo time (a
# task's last update, 11 hours after EPOCH) stays in the past.
HOURS_BEFORE_RESET = 12


def reset_moment(moment=None):
    """EPOCH for a reset at `moment` (now when none), on a whole minute."""
    moment = moment or datetime.now(timezone.utc)
    return moment.replace(second=0, microsecond=0) - timedelta(hours=HOURS_BEFORE_RESET)


EPOCH = reset_moment()
KINDS = ("filmEditing", "conceptDevelopment", "scriptDevelopment")
STATUSES = ("waiting", "active", "review", "changes_requested", "approved", "cancelled")
STAGES = ("idea", "brief", "script", "recording", "production", "review", "delivery")

COMPANIES = (
    ("Nordlys Bryggeri", "Mette Holm", "Jonas Friis"),
    ("Havnens Tandklinik", "Sara Lund", "Emil Krogh"),
    ("Skovgaard Cykler", "Peter Skov", "Ida Brandt"),
)
FILMS = (  # company index, title, stage
    (0, "Sommerøl 2026", "idea"), (0, "Bag om bryggeriet", "recording"), (0, "Julebryg", "production"),
    (0, "Medarbejderportræt", "review"), (1, "Ny klinik i havnen", "brief"), (1, "Tandpleje for børn", "script"),
    (1, "Åbent hus", "delivery"), (1, "Mød tandlægerne", "production"), (2, "Ladcyklen", "production"),
    (2, "Værkstedet", "review"),
)
INSTRUCTIONS = {
    "filmEditing": "Klip en film på 45 sekunder til sociale medier. Start med produktet, slut med logoet.",
    "conceptDevelopment": "Foreslå tre koncepter til en kort film om virksomhedens historie.",
    "scriptDevelopment": "Skriv manus og shotliste til en film på 60 sekunder med to interviews.",
}
DELIVERABLES = {"filmEditing": "Færdig film, 1080p", "conceptDevelopment": "Konceptforslag",
                "scriptDevelopment": "Manus og shotliste"}


def set_clock(moment=None):
    """Dates the demo content from a reset at `moment` (now when none)."""
    global EPOCH
    EPOCH = reset_moment(moment)


def at(hours: float) -> str:
    return (EPOCH + timedelta(hours=hours)).strftime("%Y-%m-%dT%H:%M:%SZ")


def before_reset(minutes: float) -> str:
    return at(HOURS_BEFORE_RESET - minutes / 60)


def backup_package(kind, title, project_id, package_id, request_id, instructions, revision):
    if kind == "filmEditing":
        files = [
            {"path": "media/interview.mp4", "media": "interview.mp4", "role": "usable", "mediaKind": "video"},
            {"path": "media/broll.mp4", "media": "broll.mp4", "role": "usable", "mediaKind": "video"},
            {"path": "media/still-logo.jpg", "media": "still-logo.jpg", "role": "usable", "mediaKind": "image"},
            {"path": "notes/notes.txt", "media": "notes.txt", "role": "context", "mediaKind": "document"},
            {"path": "media/vertical.mp4", "media": "vertical.mp4", "role": "rejected", "mediaKind": "video"},
        ]
    else:
        files = [
            {"path": "media/still-product.jpg", "media": "still-product.jpg", "role": "usable", "mediaKind": "image"},
            {"path": "notes/notes.txt", "media": "notes.txt", "role": "context", "mediaKind": "document"},
        ]
    candidates = [
        {"id": "c1", "title": "Interview, åbning", "mediaKind": "video", "startSeconds": 0.5, "endSeconds": 3.0,
         "notes": "Stærkeste citat", "sourceItemID": "src-interview", "sourceFile": "media/interview.mp4",
         "speechEvidence": {"state": "unreviewedTranscript", "transcriptPresent": True,
                            "wordTimingsAvailable": True}},
        {"id": "c2", "title": "B-roll, produktion", "mediaKind": "video", "startSeconds": 0.0, "endSeconds": 2.5,
         "sourceItemID": "src-broll", "sourceFile": "media/broll.mp4",
         "speechEvidence": {"state": "noSpeech", "transcriptPresent": False, "wordTimingsAvailable": False}},
        {"id": "c3", "title": "Logo", "mediaKind": "image", "stillDurationSeconds": 2.0,
         "overlayText": title, "sourceItemID": "src-logo", "sourceFile": "media/still-logo.jpg"},
    ] if kind == "filmEditing" else [
        {"id": "c1", "title": "Produktbillede", "mediaKind": "image", "sourceItemID": "src-product",
         "sourceFile": "media/still-product.jpg"},
    ]
    return {
        "packageID": package_id, "projectID": project_id, "title": title,
        "serviceRequest": {"schemaVersion": 1, "kind": kind, "instructions": instructions,
                           "deliverable": DELIVERABLES[kind]},
        "masterprompt": "Du arbejder for Tavlon. Følg kundens brief og brug kun det godkendte materiale.",
        "notice": "" if kind == "filmEditing" else "Skriveopgave: klip ikke, men skriv ud fra kildegrundlaget.",
        "candidates": candidates,
        "currentBrief": {"requestID": request_id, "requestRevision": revision, "originalInstructions": instructions,
                         "effectiveInstructions": instructions, "cached": True},
        "files": files,
    }


def proposal_content(kind, title, with_video, review_facts=None):
    content = {"schemaVersion": 1, "kind": kind, "title": "Forslag: %s" % title,
               "body": "Vores forslag til %s." % title, "open_questions": ["Skal logoet vises i starten?"],
               "concept_options": [], "script_sections": [], "shots": [], "sources": []}
    if kind == "conceptDevelopment":
        content["concept_options"] = [{"id": "opt-%d" % n, "title": "Koncept %d" % n, "rationale": "Enkel fortælling",
                                       "idea": "Historien fortalt af medarbejderne", "purpose": "Kendskab",
                                       "audience": "Lokale kunder", "angle": "Personlig", "message": "Vi er tæt på",
                                       "call_to_action": "Kig forbi"} for n in (1, 2, 3)]
    if kind == "scriptDevelopment":
        content["script_sections"] = [{"id": "s1", "title": "Åbning", "text": "Vi ser værkstedet vågne."}]
        content["shots"] = [{"id": "shot-1", "title": "Totalbillede", "instruction": "Langsom panorering",
                             "kind": "wide", "section_id": "s1", "duration_seconds": 5}]
    if with_video:
        # Without made media (fast tool tests) the hash and size stay empty and no download verifies.
        digest, size = review_facts or ("", 0)
        content["video"] = {"source_export_id": "export-1", "bucket": "tf-reviews",
                            "object_key": media.DEMO_REVIEW_KEY, "sha256": digest, "content_type": "video/mp4",
                            "editor_name": "Demo Editor", "byte_count": size,
                            "duration_seconds": media.REVIEW_SECONDS, "editor_qc_confirmed": True}
    return content


def film_comment(decision):
    """A film decision's comment, with feedback timestamps inside the demo clip's four seconds."""
    if decision == "approve":
        return "Godkendt, tak.\n[0:03] Slutningen er perfekt"
    return "Flot! Kan logoet komme lidt før?\n[0:01] Logoet skal ind her\n  [0:02]\tMusikken er lidt for høj"


def reaction_annotations(number, version):
    return [{"id": fixed_id("annotation:%d:%d:%d" % (number, version, n)), "text": text,
             "sourceSeconds": source, "reactionSeconds": reaction}
            for n, (text, source, reaction) in enumerate((("Her kommer logoet for sent", 1.0, 0.5),
                                                           ("Flot overgang!", 2.5, 1.5)))]


def seed_service(conn, tools):
    review_facts = media.demo_review_facts(tools)
    companies, serving = [], []
    for index, (name, customer, instructor) in enumerate(COMPANIES):
        company_id = fixed_id("company:%d" % index)
        conn.execute("INSERT INTO companies (id, name) VALUES (?, ?)", (company_id, name))
        for role, person in (("customer", customer), ("instructor", instructor)):
            conn.execute("INSERT INTO people (id, company_id, role, display_name, email) VALUES (?, ?, ?, ?, ?)",
                         (fixed_id("%s:%d" % (role, index)), company_id, role, person,
                          person.lower().replace(" ", ".").replace("ø", "oe") + "@example.com"))
        companies.append(company_id)
        serving += [(EDITOR_ID, company_id), (SECOND_EDITOR_ID, company_id)]
    for n in range(52):  # enough for the second editor to page through more than 50 companies
        company_id = fixed_id("company:extra:%d" % n)
        conn.execute("INSERT INTO companies (id, name) VALUES (?, ?)", (company_id, "Testkunde %02d" % (n + 1)))
        serving.append((SECOND_EDITOR_ID, company_id))
    conn.executemany("INSERT INTO operator_companies (operator_id, company_id) VALUES (?, ?)", serving)

    films = []
    for number, (company_index, title, stage) in enumerate(FILMS):
        film_id = fixed_id("film:%d" % number)
        conn.execute("INSERT INTO films (id, company_id, title, stage, customer_id, instructor_id, local_project_id,"
                     " created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                     (film_id, companies[company_index], title, stage, fixed_id("customer:%d" % company_index),
                      fixed_id("instructor:%d" % company_index), fixed_id("project:%d" % number),
                      at(-240 + number), at(-24 + number)))
        films.append((film_id, companies[company_index], title, fixed_id("project:%d" % number), company_index))

    number = 0
    for kind_index, kind in enumerate(KINDS):
        for status_index, status in enumerate(STATUSES):
            film_id, company_id, film_title, project_id, company_index = films[number % len(films)]
            request_id = fixed_id("request:%d" % number)
            backup_id = fixed_id("backup:%d" % number)
            title = "%s · %s" % (film_title, DELIVERABLES[kind])
            revision = 1 + status_index
            claimed = status not in ("waiting",)
            claimant = SECOND_EDITOR_ID if number % 5 == 4 else EDITOR_ID
            package = backup_package(kind, film_title, project_id, fixed_id("package:%d" % number), request_id,
                                     INSTRUCTIONS[kind], revision)
            conn.execute("INSERT INTO backups (id, company_id, local_project_id, revision, state, completed_at,"
                         " package) VALUES (?, ?, ?, ?, ?, ?, ?)",
                         (backup_id, company_id, project_id, 1 + number % 3, "completed", at(-48 + number),
                          json.dumps(package, ensure_ascii=False)))
            latest = None
            if status in ("review", "changes_requested", "approved"):
                for version in (1, 2) if status == "approved" else (1,):
                    proposal_id = fixed_id("proposal:%d:%d" % (number, version))
                    conn.execute("INSERT INTO proposals (id, request_id, version_number, content, created_at,"
                                 " created_by) VALUES (?, ?, ?, ?, ?, ?)",
                                 (proposal_id, request_id, version,
                                  json.dumps(proposal_content(kind, film_title, kind == "filmEditing", review_facts),
                                             ensure_ascii=False), at(-10 + version), claimant))
                    latest = proposal_id
                    decision = None
                    if status == "changes_requested" or (status == "approved" and version == 1):
                        decision = "request_changes"
                    elif status == "approved":
                        decision = "approve"
                    if decision:
                        decision_id = fixed_id("decision:%d:%d" % (number, version))
                        conn.execute("INSERT INTO decisions (id, request_id, proposal_id, decision, comment,"
                                     " created_at, selected_option_id) VALUES (?, ?, ?, ?, ?, ?, ?)",
                                     (decision_id, request_id, proposal_id, decision,
                                      film_comment(decision) if kind == "filmEditing"
                                      else "Flot! Kan logoet komme lidt før?" if decision == "request_changes"
                                      else "Godkendt, tak.", at(-8 + version),
                                      "opt-2" if kind == "conceptDevelopment" else None))
                        if kind == "filmEditing":
                            conn.execute("INSERT INTO reactions (id, request_id, decision_id, media_file,"
                                         " annotations, created_at) VALUES (?, ?, ?, ?, ?, ?)",
                                         (fixed_id("reaction:%d:%d" % (number, version)), request_id, decision_id,
                                          "reaction.mp4", json.dumps(reaction_annotations(number, version)),
                                          at(-8 + version)))
            conn.execute("INSERT INTO requests (id, company_id, film_id, local_project_id, backup_id,"
                         " source_fingerprint, title, kind, status, revision, submitted_by, submitted_at,"
                         " updated_at, claimed_by, claimed_at, latest_proposal_id, instructions, deliverable)"
                         " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                         (request_id, company_id, film_id, project_id, backup_id,
                          hashlib.sha256(fixed_id("fingerprint:%d" % number).encode()).hexdigest(), title, kind, status,
                          revision, fixed_id("customer:%d" % company_index), at(-72 + number), at(-6 + number),
                          claimant if claimed else None, at(-20 + number) if claimed else None, latest,
                          INSTRUCTIONS[kind], DELIVERABLES[kind]))
            number += 1
    # The customer of the second film task changed the instructions after submitting them.
    amended = conn.execute("SELECT * FROM requests WHERE id = ?", (fixed_id("request:1"),)).fetchone()
    conn.execute("INSERT INTO amendments (id, company_id, request_id, film_id, backup_id, source_fingerprint,"
                 " base_revision, applied_revision, instructions, reason, created_by, created_at)"
                 " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 (fixed_id("amendment:1"), amended["company_id"], amended["id"], amended["local_project_id"],
                  amended["backup_id"], amended["source_fingerprint"], amended["revision"] - 1, amended["revision"],
                  "Klip en film på 30 sekunder til sociale medier. Start med logoet, slut med produktet.",
                  "Vi har fået en ny kampagneplan.", amended["submitted_by"], at(-5)))
    # A backup still uploading: never listed as completed.
    conn.execute("INSERT INTO backups (id, company_id, local_project_id, revision, state, completed_at, package)"
                 " VALUES (?, ?, ?, ?, ?, ?, ?)",
                 (fixed_id("backup:uploading"), companies[0], fixed_id("project:0"), 9, "uploading", None, "{}"))
