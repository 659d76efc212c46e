from ..tool import command

S, CF, EU = "desktop_profile.py", "--credentials-file", "--expected-user-id"

command(S, "profileGet", "get", values={CF, EU}, required={CF}, credentials=CF,
        order="--credentials-file --expected-user-id get".split())
command(S, "profileUpdate", "update", values={CF, EU, "--display-name", "--avatar-jpeg"},
        flags={"--clear-avatar"}, required={CF, EU, "--display-name"}, credentials=CF,
        order="--credentials-file --expected-user-id update --display-name --avatar-jpeg --clear-avatar".split())
command(S, "profileParticipants", "participants", values={CF, EU}, multi={"--request-ids"},
        required={CF, EU, "--request-ids"}, credentials=CF,
        order="--credentials-file --expected-user-id participants --request-ids".split())
