# The things UnInstall.log lines and change lists name, in the words of the scenario
# tool's change lists (lower case, since Windows compares names so):
#   a key       hkey_local_machine\system\...\name        (HKEY_CLASSES_ROOT as
#                                                           hkey_local_machine\software\classes)
#   a value     hkey_local_machine\...\key "name"          (the name escaped as regedit does)
#   a file      drive_c/windows/inf/oem1.inf
#   a device    the description searched for, after "device "
# An item in a list of items stands for its subtree.
#
#   awk -f items.awk -v check=gone REGISTRY_CHANGES FILE_CHANGES LOG
#       prints every log line whose item the change lists do not show removed;
#       exit 1 if there is one (a device counts as removed when as many instance
#       keys with that description went as the log names it)
#   awk -f items.awk -v check=names ITEMS LOG
#       prints every log line naming something in ITEMS; exit 1 if there is one
#   awk -f items.awk -v check=within ITEMS CHANGES...
#       prints the change lines about something in ITEMS

function item(line,    start, text) {
    sub(/\r$/, "", line)
    if ((start = index(line, " HKEY_LOCAL_MACHINE\\")) > 0) {
        return registry_item(tolower(substr(line, start + 1)))
    }
    if ((start = index(line, " HKEY_CLASSES_ROOT\\")) > 0) {
        text = "hkey_local_machine\\software\\classes\\" substr(line, start + 19)
        return registry_item(tolower(text))
    }
    if (match(line, / [A-Za-z]:\\/)) {
        text = tolower(substr(line, RSTART + 4))
        gsub(/\\/, "/", text)
        return "drive_c/" text
    }
    if (substr(line, 1, 1) == " ") return "device " tolower(substr(line, 2))
    return ""
}

# "KEY\" is a key; "KEY\ NAME" is the value NAME of KEY.
function registry_item(text,    split_at) {
    if ((split_at = index(text, "\\ ")) > 0) {
        return substr(text, 1, split_at - 1) " " quoted(substr(text, split_at + 2))
    }
    sub(/\\$/, "", text)
    return text
}

# A value name as regedit writes it. (Spelt out: awks differ on backslashes in gsub.)
function quoted(name,    i, c, text) {
    for (i = 1; i <= length(name); i++) {
        c = substr(name, i, 1)
        if (c == "\\" || c == "\"") text = text "\\"
        text = text c
    }
    return "\"" text "\""
}

# Whether `text` is `prefix` or lies below it.
function within(text, prefix,    next_char) {
    if (index(text, prefix) != 1) return 0
    next_char = substr(text, length(prefix) + 1, 1)
    return next_char == "" || next_char == "\\" || next_char == "/" || next_char == " "
}

function removed_item(entry,    value_at) {
    if ((value_at = index(entry, "\" = ")) > 0) return substr(entry, 1, value_at)
    return entry
}

check == "gone" && FILENAME != ARGV[ARGC - 1] {
    if (substr($0, 1, 2) == "- ") {
        entry = tolower(substr($0, 3))
        removed[removed_item(entry)] = 1
        if (index(entry, "\"devicedesc\" = sz:\"") > 0) descriptions[++description_count] = entry
    }
    next
}

check != "gone" && FILENAME == ARGV[1] {
    kept[++kept_count] = tolower($0)
    next
}

check == "gone" {
    found = item($0)
    if (substr(found, 1, 7) == "device ") {
        uses[found]++
        have = 0
        for (i = 1; i <= description_count; i++) {
            if (index(descriptions[i], substr(found, 8)) > 0) have++
        }
        if (have >= uses[found]) next
    } else if (found != "" && found in removed) {
        next
    }
    print "names nothing removed: " $0
    failed = 1
}

check == "names" && among_kept(item($0)) {
    print "names what the fault kept: " $0
    failed = 1
}

check == "within" && among_kept(tolower(substr($0, 3))) { print }

function among_kept(text,    i) {
    for (i = 1; i <= kept_count; i++) {
        if (within(text, kept[i])) return 1
    }
    return 0
}

END { exit failed }
