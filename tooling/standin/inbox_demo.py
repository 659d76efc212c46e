"""Scheduling, consent and the extra inbox content of the demo service.

Runs after demo.seed_service: every task gets its scheduling, every served company its consent,
and the second editor's test customers get enough tasks and films that the inbox and a customer's
pipeline each take two pages. Fixed ids, and times fixed relative to the reset, so a reset always
gives the same content."""
import hashlib
import json
from datetime import datetime, timedelta, timezone

from .demo import DELIVERABLES, INSTRUCTIONS, KINDS, STAGES, STATUSES, at, backup_package, before_reset
from .seed import EDITOR_ID, SECOND_EDITOR_ID, fixed_id

TIERS = ("high", "middle", "low")
TARGET_HOURS = {"low": 24, "middle": 8, "high": 2}
SUBMISSION_MODES = ("unspecified", "free_capture", "interview", "scripted", "archive", "revision")
BLOCKED_REASONS = ("active_film", "earlier_film", "service_paused", "not_waiting", "editor_busy")

EXTRA_INBOX_COMPANIES = range(1, 9)  # company:extra:N; extra:0 stays without tasks
TASKS_PER_EXTRA_COMPANY = 5
PIPELINE_COMPANY = 1  # company:extra:1 has a pipeline longer than one page
PIPELINE_FILMS = 55


def fingerprint(name: str) -> str:
    return hashlib.sha256(name.encode("utf-8")).hexdigest()


def trailing_id(name: str) -> str:
    """A fixed id that sorts after every id of the main demo, so "the first task by id" stays a task
    that both editors serve."""
    return "ffffffff" + fixed_id(name)[8:]


def stamp(moment) -> str:
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def recent_receipt(number):
    """When a task not yet started reached production: a few hours before the reset, the later the
    higher its number (the second editor's test customers, 100 on, before the main demo's tasks), so
    start targets fall hours ahead of and behind the reset and keep the order of the tasks."""
    minutes = 8 * 60 - (number - 100) * 6 if number >= 100 else 3 * 60 - number * 10
    return before_reset(minutes)


def scheduling_row(number, kind, status, submitted_at, claimed_at):
    """One task's scheduling: tier and mode by turn; a waiting film task now and then held back."""
    tier = TIERS[number % 3]
    # Started once claimed, except an active task now and then and every new round.
    started = None
    if claimed_at is not None and status in ("review", "approved", "cancelled"):
        started = claimed_at
    elif claimed_at is not None and status == "active" and number % 2 == 0:
        started = claimed_at
    received = submitted_at if started or status in ("approved", "cancelled") else recent_receipt(number)
    # Due a tier's target hours after receipt.
    moment = datetime.strptime(received, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc)
    due = stamp(moment + timedelta(hours=TARGET_HOURS[tier]))
    eligible = received if number % 4 else None
    blocked = None
    if status == "waiting" and kind == "filmEditing" and number % 7 == 3:
        blocked = ("earlier_film", "service_paused")[number % 2]
    round_ = 2 if status in ("changes_requested", "approved") else 1
    return (tier, round_, SUBMISSION_MODES[number % len(SUBMISSION_MODES)], received, eligible, due, started,
            blocked)


def insert_scheduling(conn, request_id, values):
    conn.execute("INSERT INTO scheduling (request_id, tier, round, submission_mode, received_at, eligible_at,"
                 " due_at, started_at, blocked_reason) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 (request_id,) + tuple(values))


def seed_main_scheduling(conn):
    rows = conn.execute("SELECT id, kind, status, submitted_at, claimed_at FROM requests ORDER BY submitted_at, id")
    for number, row in enumerate(rows.fetchall()):
        insert_scheduling(conn, row["id"], scheduling_row(number, row["kind"], row["status"], row["submitted_at"],
                                                          row["claimed_at"]))


def seed_consent(conn):
    main = [fixed_id("company:%d" % n) for n in range(3)]
    consents = [(main[0], 3, 0, "Mette Holm"), (main[1], 0, 1, None), (main[2], 1, 0, "Peter Skov"),
                (fixed_id("company:extra:%d" % PIPELINE_COMPANY), 0, 1, "Kunde 02")]
    conn.executemany("INSERT INTO company_consent (company_id, revision, allow_pipeline, contact_name)"
                     " VALUES (?, ?, ?, ?)", consents)
    conn.executemany("INSERT INTO consent_managers (operator_id, company_id) VALUES (?, ?)",
                     [(EDITOR_ID, main[0]), (EDITOR_ID, main[1]), (SECOND_EDITOR_ID, main[0]),
                      (SECOND_EDITOR_ID, consents[3][0])])
    # A campaign per customer for some films; films without tasks that only a shared pipeline shows.
    films = {r["title"]: r for r in conn.execute("SELECT * FROM films")}
    campaigns = ((0, "Sommer 2026", ("Sommerøl 2026", "Julebryg")), (1, "Åbent hus-ugen", ("Åbent hus",)))
    for company_index, title, film_titles in campaigns:
        campaign_id = fixed_id("campaign:%d" % company_index)
        conn.execute("INSERT INTO campaigns (id, company_id, title) VALUES (?, ?, ?)",
                     (campaign_id, main[company_index], title))
        for film_title in film_titles:
            conn.execute("INSERT INTO campaign_films (film_id, campaign_id) VALUES (?, ?)",
                         (films[film_title]["id"], campaign_id))
    for number, (title, stage) in enumerate((("Forårskampagne", "script"), ("Ny etiket", "idea"))):
        insert_film(conn, "film:untasked:%d" % number, main[0], 0, title, stage, number)


def insert_film(conn, name, company_id, person_index, title, stage, number, person_prefix=""):
    film_id = fixed_id(name)
    project_id = fixed_id("project:" + name)
    conn.execute("INSERT INTO films (id, company_id, title, stage, customer_id, instructor_id, local_project_id,"
                 " created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 (film_id, company_id, title, stage, fixed_id("customer:%s%d" % (person_prefix, person_index)),
                  fixed_id("instructor:%s%d" % (person_prefix, person_index)), project_id, at(-400 + number),
                  at(-200 + number)))
    return film_id, project_id


def seed_extra_inbox(conn):
    """The second editor's test customers: five tasks each, and one customer with a long pipeline."""
    number = 0
    for company in EXTRA_INBOX_COMPANIES:
        company_id = fixed_id("company:extra:%d" % company)
        for role, name in (("customer", "Kunde %02d" % (company + 1)), ("instructor", "Instruktør %02d" % (company + 1))):
            conn.execute("INSERT INTO people (id, company_id, role, display_name, email) VALUES (?, ?, ?, ?, ?)",
                         (fixed_id("%s:extra:%d" % (role, company)), company_id, role, name,
                          "%s.%02d@example.com" % (role, company + 1)))
        film_count = PIPELINE_FILMS if company == PIPELINE_COMPANY else TASKS_PER_EXTRA_COMPANY
        films = [insert_film(conn, "film:extra:%d:%d" % (company, n), company_id, company,
                             "Testfilm %02d-%02d" % (company + 1, n + 1), STAGES[n % len(STAGES)], n, "extra:")
                 for n in range(film_count)]
        for task in range(TASKS_PER_EXTRA_COMPANY):
            film_id, project_id = films[task]
            kind = KINDS[number % len(KINDS)] if number % 2 else "filmEditing"
            status = STATUSES[number % len(STATUSES)]
            request_id = trailing_id("request:extra:%d:%d" % (company, task))
            backup_id = trailing_id("backup:extra:%d:%d" % (company, task))
            claimant = None
            if status != "waiting":
                claimant = EDITOR_ID if number % 4 == 1 else SECOND_EDITOR_ID
            title = "Testfilm %02d-%02d · %s" % (company + 1, task + 1, DELIVERABLES[kind])
            # Two tasks of a customer share a submission time: the id breaks the tie in the listing.
            submitted = at(-300 + 5 * company + task // 2 * 2)
            claimed_at = at(-100 + number) if claimant else None
            revision = 1 + number % 3
            package = backup_package(kind, title, project_id, fixed_id("package:extra:%d:%d" % (company, task)),
                                     request_id, INSTRUCTIONS[kind], revision)
            conn.execute("INSERT INTO backups (id, company_id, local_project_id, revision, state, completed_at,"
                         " package) VALUES (?, ?, ?, ?, ?, ?, ?)",
                         (backup_id, company_id, project_id, 1, "completed", at(-150 + number),
                          json.dumps(package, ensure_ascii=False)))
            conn.execute("INSERT INTO requests (id, company_id, film_id, local_project_id, backup_id,"
                         " source_fingerprint, title, kind, status, revision, submitted_by, submitted_at,"
                         " updated_at, claimed_by, claimed_at, latest_proposal_id, instructions, deliverable)"
                         " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                         (request_id, company_id, film_id, project_id, backup_id,
                          fingerprint("fingerprint:extra:%d:%d" % (company, task)), title, kind, status, revision,
                          fixed_id("customer:extra:%d" % company), submitted, at(-50 + number), claimant,
                          claimed_at, None, INSTRUCTIONS[kind], DELIVERABLES[kind]))
            insert_scheduling(conn, request_id, scheduling_row(100 + number, kind, status, submitted, claimed_at))
            number += 1


def seed_inbox(conn):
    seed_main_scheduling(conn)
    seed_extra_inbox(conn)
    seed_consent(conn)
