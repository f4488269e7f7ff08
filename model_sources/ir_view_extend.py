class IrViewExtend(models.AbstractModel):
    _inherit = "base"

    @api.model
    def get_view(self, view_id=None, view_type="form", **options):
        """Get the view for the current model."""
        result = super(IrViewExtend, self).get_view(view_id, view_type, **options)
        if view_type not in ("list", "tree", "kanban", "pivot", "graph"):
            return result
        display_spell_navbar = self.env["lumq_spell.config"].dislay_spell_navbar(
            result["model"], view_id
        )
        result["display_spell_navbar"] = display_spell_navbar
        if display_spell_navbar:
            letter_counts = self.env["lumq_spell.config"]._spell_letter_counts(result["model"])
            result["arch"] = self._add_spell_attribute(result["arch"], letter_counts)
        return result

    @api.model
    def _add_spell_attribute(self, arch, letter_counts=False):
        """Return the arch text with the attribute spell="lumq_spell" right
        after the root element's tag name, found by text operations alone;
        with ``letter_counts``, spell_letter_counts="1" after it, which has
        the letter bar count the records of each letter.

        What may stand before the root (a declaration, processing
        instructions, comments, a document type and the white space between
        them) is skipped; a root that has a spell attribute already, and a
        text without a root start tag, are returned as they are."""
        prolog = re.compile(
            r"""(?:\s++|<\?.*?\?>|<!--.*?-->|<!DOCTYPE(?:[^>\["']++|"[^"]*"|'[^']*'|\[[^\]]*\])*>)*""",
            re.S,
        )
        tag = re.compile(r"<[^\s/>!?]+").match(arch, prolog.match(arch).end())
        if not tag:
            return arch
        # The rest of the start tag, up to its ">" outside quoted values; a
        # value may hold any text, "spell=..." included.
        attributes = re.compile(r"""(?:[^>"']++|"[^"]*"|'[^']*')*""").match(arch, tag.end())
        names = re.findall(r"""([^\s=/>]+)\s*=\s*(?:"[^"]*"|'[^']*')""", attributes.group())
        if "spell" in names:
            return arch
        counts = 'spell_letter_counts="1" ' if letter_counts else ""
        return arch[:tag.end()] + ' spell="lumq_spell" ' + counts + arch[tag.end():]
