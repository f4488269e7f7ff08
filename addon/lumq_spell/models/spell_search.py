"""Searching the spells by ILIKE at the cost of LIKE, on PostgreSQL.

PostgreSQL matches ``spell ILIKE pattern`` as ``lower(spell) LIKE
lower(pattern)``, lower-casing every row it reads: on a large table that costs
a search about three times what LIKE does.  The spells are pinyin, lower case,
except for pieces kept as they were (a Latin name keeps its capitals).  For a
row whose spell is lower case already, ``spell LIKE lower(pattern)`` finds
exactly what ILIKE finds; the few rows with capitals are found by ILIKE
through a small partial index before the search (``spell_sql.CASED_SPELLS``)
and named by their ids.  So a leaf::

    (spell, 'ilike', text)      becomes  ['|', (spell, 'like', lower('%text%')),
                                               ('id', 'in', ids)]
    (spell, 'not ilike', text)  becomes  ['&', (spell, 'not like', lower('%text%')),
                                               ('id', 'not in', ids)]

where ``ids`` are those of the rows with capitals whose spell matches.  The
ORM turns the second form into ``NOT LIKE ... OR spell IS NULL``, as it does
with NOT ILIKE: both find the same rows.  A row matched by LIKE is matched by
ILIKE too, so a row with capitals found by both is counted once.

The text is searched as the ORM searches it, wildcards ``%`` and ``_`` and the
escape character included: the pattern is the same, only the operator and
the side that is lower-cased change.
"""

# operator -> (operator on the lower-cased pattern, operator on the ids, joint)
REWRITTEN = {
    "ilike": ("like", "in", "|"),
    "not ilike": ("not like", "not in", "&"),
}


def rewritable(element, columns):
    """Whether ``element`` of a domain is a leaf that ``rewrite_domain``
    rewrites: a non-empty text searched by ILIKE or NOT ILIKE on one of
    ``columns``.  An empty text matches every row, NULL spells included, and
    is left to the ORM."""
    return (isinstance(element, (list, tuple)) and len(element) == 3
            and element[0] in columns and isinstance(element[1], str)
            and element[1].lower() in REWRITTEN
            and isinstance(element[2], str) and element[2] != "")


def rewrite_domain(domain, columns, lower_pattern, cased_ids):
    """``domain`` with each rewritable leaf on ``columns`` (see the module's
    text) replaced by its LIKE form.  ``lower_pattern(pattern)`` gives the
    right side of a LIKE that compares with the lower-cased pattern;
    ``cased_ids(column, pattern)`` the ids of the rows with capitals in their
    spells that match by ILIKE, or None where they are too many to name (the
    leaf is then kept).  Any other element is kept as it is."""
    result = []
    for element in domain:
        if rewritable(element, columns):
            column, operator, text = element
            pattern = f"%{text}%"      # as the ORM makes it
            ids = cased_ids(column, pattern)
            if ids is not None:
                like, in_ids, joint = REWRITTEN[operator.lower()]
                result += [joint, (column, like, lower_pattern(pattern)), ("id", in_ids, ids)]
                continue
        result.append(element)
    return result


def lower_pattern(pattern):
    """The right side of a LIKE that compares with ``pattern`` lower-cased by
    PostgreSQL, in the database's collation, as ILIKE lower-cases it."""
    # imported here: the ORM's SQL objects exist on the real server only,
    # the one this is used on
    from odoo.tools import SQL

    return SQL("lower(%s)", pattern)
