class IrModuleModule(models.Model):
    _inherit = "ir.module.module"

    def _button_immediate_function(self, function):
        # Uninstalling the addon first removes every spell configuration and
        # detaches the spell class from every model; an install or upgrade
        # keeps them.
        uninstall = getattr(function, "__name__", None) == "button_uninstall"
        if uninstall and "lumq_spell" in self.mapped("name"):
            self.env["lumq_spell.config"].with_context(
                {"ignore_extend_search_view": INTERNAL_SWITCH}
            ).search([]).unlink()
            self.env["ir.model"].search([("is_spell_attached", "=", True)])._write_spell_marks(
                {"is_spell_attached": False}
            )
            # no process keeps the spells once the addon is gone: their
            # columns go now
            self.env["ir.model"]._drop_pending_spell_columns(now=False)
            self.env["ir.module.module"].flush_model()
            self.env.flush_all()
            self.env.registry.setup_models(self.env.cr)
        return super()._button_immediate_function(function)
