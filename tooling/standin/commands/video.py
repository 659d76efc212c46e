from ..tool import command

S, CF, C, P = "desktop_video.py", "--credentials-file", "--company", "--proposal-id"

command(S, "videoPreview", "prepare", 1,
        values={"--inbox", "--video", "--revision", "--label", "--summary", "--editor"},
        required={"--inbox", "--video", "--revision", "--label", "--summary", "--editor"},
        order="prepare --inbox --video --revision --label --summary --editor".split())
command(S, "videoPending", "pending", 1, values={"--inbox"}, required={"--inbox"},
        order="pending --inbox".split())
command(S, "videoStatus", "status", 1, values={"--inbox", P}, required={"--inbox", P},
        order="status --inbox --proposal-id".split())
command(S, "videoSend", "send", 1, values={"--inbox", CF, C, P}, flags={"--qc-confirmed", "--confirm-send"},
        required={"--inbox", CF, C, P, "--qc-confirmed", "--confirm-send"}, credentials=CF,
        order="send --inbox --credentials-file --company --proposal-id --qc-confirmed --confirm-send".split())
