"""An exact argument parser: a value that follows its flag is taken as it is, even "-x" or "--y"."""


class ArgumentError(Exception):
    pass


class Parsed:
    def __init__(self):
        self.options = {}
        self.command = None
        self.positionals = []
        self.sequence = []  # the flags and the command word, in the order they came

    def get(self, name, default=None):
        return self.options.get(name, default)

    def __contains__(self, name):
        return name in self.options

    def __getitem__(self, name):
        return self.options[name]


def parse_exact(argv, values=(), flags=(), multi=(), commands=None):
    """values take one following element, flags none, multi every following element up to the next
    known flag; commands maps a subcommand word to the number of elements it takes after it.
    Unknown words, repeated flags and missing values are errors."""
    values, flags, multi = set(values), set(flags), set(multi)
    known = values | flags | multi
    parsed = Parsed()
    index = 0
    while index < len(argv):
        word = argv[index]
        if word in known and word in parsed.options:
            raise ArgumentError("%s er angivet mere end én gang." % word)
        if word in known or (commands is not None and parsed.command is None and word in commands):
            parsed.sequence.append(word)
        if word in values:
            if index + 1 >= len(argv):
                raise ArgumentError("%s mangler en værdi." % word)
            parsed.options[word] = argv[index + 1]
            index += 2
        elif word in flags:
            parsed.options[word] = True
            index += 1
        elif word in multi:
            index += 1
            items = []
            while index < len(argv) and argv[index] not in known:
                items.append(argv[index])
                index += 1
            parsed.options[word] = items
        elif commands is not None and parsed.command is None and word in commands:
            count = commands[word]
            if index + count >= len(argv):
                raise ArgumentError("%s mangler %s." % (word, "en værdi" if count == 1 else "værdier"))
            parsed.command = word
            parsed.positionals = list(argv[index + 1:index + 1 + count])
            index += 1 + count
        else:
            raise ArgumentError("Ukendt argument: %s" % word)
    return parsed
