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
            result["arch"] = self._add_spell_attribute(result["arch"])
        return result

    @api.model
    def _add_spell_attribute(self, arch):
        """Return the arch text with the attribute spell="lumq_spell" right
        after the root element's tag name, found by text operations alone: a
        declaration, processing instructions, comments and a document type
        before the root are skipped, and a root that has the attribute
        already is left as it is."""
        position = 0
        while True:
            start = arch.find("<", position)
            if start < 0:
                return arch
            if arch.startswith("<?", start):
                end = arch.find("?>", start + 2) + 2
            elif arch.startswith("<!--", start):
                end = arch.find("-->", start + 4) + 3
            elif arch.startswith("<!", start):
                end = arch.find(">", start + 2) + 1
            else:
                break
            if end <= start:
                return arch
            position = end
        tag = re.compile(r"<[^\s/>]+").match(arch, start)
        if not tag:
            return arch
        attributes = re.compile(r"""(?:[^>"']+|"[^"]*"|'[^']*')*""").match(arch, tag.end())
        names = re.findall(r"""([^\s=/>]+)\s*=\s*(?:"[^"]*"|'[^']*')""", attributes.group())
        if "spell" in names:
            return arch
        return arch[:tag.end()] + ' spell="lumq_spell" ' + arch[tag.end():]
