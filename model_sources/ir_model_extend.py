class IrModelExtend(models.Model):
    """extend to add is_spell_attached"""

    _inherit = "ir.model"

    is_spell_attached = fields.Boolean(
        string="Is spell attatched",
        default=False,
        help="Whether spell is attatched to this model",
    )
    spell_field_name = fields.Char(
        string="Field Name",
        help="The field name to be used for spell",
    )
    spell_search_as_typed = fields.Boolean(
        string="Search As People Type",
        default=False,
        help="Whether the model's searches read queries as people type them",
    )
    spell_pinyin_order = fields.Boolean(
        string="Pinyin Order",
        default=False,
        help="Whether the model lists its records in the order of their full spell",
    )
    spell_fuzzy_pairs = fields.Char(
        string="Fuzzy Pinyin",
        help="The pairs of sounds that the model's searches do not tell apart (fuzzy pinyin), "
        "by key separated by spaces: zh ch sh l f ng; empty when none.",
    )
    spell_columns_drop_at = fields.Datetime(
        string="Spell Columns Dropped At",
        help="When the spell columns of a model no longer enabled are dropped: once every "
        "process of the server has left the spells behind.",
    )
    # the columns that only the spell feature itself writes
    _spell_mark_fields = ("is_spell_attached", "spell_field_name", "spell_search_as_typed",
                          "spell_pinyin_order", "spell_fuzzy_pairs", "spell_columns_drop_at")

    spell_can_be_enabled = fields.Boolean(
        string="Spell Search Can Be Enabled",
        compute="_compute_spell_can_be_enabled",
        search="_search_spell_can_be_enabled",
        help="Whether the model can store the spells: a model with a table of its own, "
        "neither transient nor abstract, and not one of the spell feature's own models.",
    )

    @api.model
    def _spell_can_store(self, model_name):
        """Whether a model of the registry can store the spell fields: it has
        a table of its own (not an SQL view or query) and is neither
        transient nor abstract."""
        if model_name not in self.env:
            return False
        model = self.env[model_name]
        return bool(model._auto and not model._transient and not model._abstract)

    @api.model
    def _spell_is_technical(self, model_name):
        """Whether the model is one of the server's own technical models,
        which spell search is never enabled on: ir.model and the ir.model.*
        models (fields, selections, constraints, relations, inheritance,
        access rights, XML ids) and the ir.module.* models.  The server reads
        and writes them by itself while it loads modules and sets the registry
        up, before and without the spell class: ir.model and ir.model.data
        are read before their spell columns exist.  Also ir.actions.actions,
        whose table the tables of the other actions inherit in PostgreSQL:
        its spell columns could not be dropped from them."""
        return model_name in ("ir.model", "ir.actions.actions") or model_name.startswith(
            ("ir.model.", "ir.module.")
        )

    @api.model
    def _spell_enableable_models(self):
        """The names of the models of the registry on which spell search can
        be enabled, as the configuration accepts them: those that can store
        the spells, except the spell feature's own models and the server's
        own technical models."""
        return {
            name for name, _model_class in self.pool.items()
            if self._spell_can_store(name) and not name.startswith("lumq_spell.")
            and not self._spell_is_technical(name)
        }

    @api.depends("model")
    def _compute_spell_can_be_enabled(self):
        names = self._spell_enableable_models()
        for model in self:
            model.spell_can_be_enabled = model.model in names

    def _search_spell_can_be_enabled(self, operator, value):
        if operator not in ("=", "!="):
            raise UserError(_("The operator %(operator)s is not supported on this field.",
                              operator=operator))
        positive = (operator == "=") == bool(value)
        return [("model", "in" if positive else "not in", sorted(self._spell_enableable_models()))]

    @api.model_create_multi
    def create(self, vals_list):
        for vals in vals_list:
            # a new row's spell columns keep their defaults unless the
            # configuration sets them
            self._check_spell_marks_writable({key for key, value in vals.items() if value})
        return super(IrModelExtend, self).create(vals_list)

    def write(self, vals):
        """write"""
        self._check_spell_marks_writable(vals)
        result = super(IrModelExtend, self).write(vals)
        if "is_spell_attached" in vals:
            for record in self:
                record._attach_spell()
        elif "spell_pinyin_order" in vals:
            for record in self:
                record._order_spell_records()
        return result

    def _check_spell_marks_writable(self, names):
        """Refuse a change of the spell columns (the mark, the source field,
        searching as typed) that the spell configuration does not make: it
        checks the model and its search views, locks the model, and computes
        the spells; a direct write would enable spell search without all
        that, also for users who may write ir.model but not the
        configuration."""
        written = [name for name in self._spell_mark_fields if name in names]
        if written and self.env.context.get("lumq_spell_marking") is not INTERNAL_SWITCH:
            raise AccessError(_(
                "Spell search is enabled, changed and disabled through its configuration "
                "(Pinyin Search) only: %(fields)s of a model cannot be written directly.",
                fields=", ".join(written),
            ))

    def _write_spell_marks(self, vals):
        """Write the spell columns of these rows, as the spell configuration
        does: the one way to change them."""
        return self.with_context(lumq_spell_marking=INTERNAL_SWITCH).write(vals)

    def _attach_spell(self):
        self.ensure_one()
        if self.model not in self.env:
            return
        self.env.flush_all()
        self.pool.setup_models(self._cr)
        # Models that inherit the enabled model under a name of their own
        # reuse its class, spell fields included, so their tables need the
        # columns as much as those that embed it.
        model_names = self.pool.descendants([self.model], "_inherit", "_inherits")
        if self.is_spell_attached:
            self._lock_spell_tables(model_names)
        background = self._init_spell_models(model_names)
        if not self.is_spell_attached:
            self._drop_spell_storage(model_names)
        # The other processes of the server (workers, other servers on the
        # database) build their registry anew once this change is committed,
        # also when it was made outside a request (a shell script).
        self._cr.postcommit.add(self.pool.signal_changes)
        if background:
            self._trigger_spell_cron()
        elif self.is_spell_attached:
            # Records that other transactions committed while this one
            # enabled the model are not in its snapshot: compute them once
            # this one is committed, also in a server of one process.
            registry, names = self.pool, list(model_names)
            self._cr.postcommit.add(
                lambda: registry["ir.model"]._compute_missing_spells_after_commit(registry, names))

    def _order_spell_records(self):
        """Follow a change of the model's order (pinyin order on or off):
        its classes take the order at their set-up, and the processes of the
        server build their registry anew once this is committed.  Nothing is
        computed: the order reads the full spells the records have."""
        self.ensure_one()
        if self.model not in self.env or not self.is_spell_attached:
            return
        self.env.flush_all()
        self.pool.setup_models(self._cr)
        self._cr.postcommit.add(self.pool.signal_changes)
        model = self.env[self.model]
        if self._spell_stored_in(model):
            model._prepare_spell_option_indexes()

    # Taking the lock that adding the spell columns needs: at most this many
    # seconds of waiting at a time, so many times, so many seconds apart.
    _spell_lock_timeout = 0.2
    _spell_lock_attempts = 25
    _spell_lock_pause = 0.5

    def _lock_spell_tables(self, model_names):
        """Lock the tables that get the spell columns, without making their
        users queue for long behind a transaction that holds them; refuse
        clearly when they stay held."""
        tables = [self.env[name]._table for name in model_names
                  if self.env[name]._auto and sql.table_exists(self._cr, self.env[name]._table)]
        if not spell_sql.lock_tables(self._cr, tables, self._spell_lock_timeout,
                                     self._spell_lock_attempts, self._spell_lock_pause):
            raise UserError(_(
                "The records of %(model)s are in use by another transaction that has been "
                "open for a while (a long report, an import, a script): spell search was not "
                "enabled, so that the model's users do not wait for it. Try again in a moment.",
                model=self.model,
            ))

    def _init_spell_models(self, model_names):
        """Create or complete the tables of the models, then compute the
        spells of every record of those that store them, in batches of a
        bounded size rather than all at once for the new columns: at once
        when they are few, otherwise in the background (returns True then).

        Adding the columns locks the tables until the transaction ends: the
        records of a large model are computed afterwards, a batch at a time,
        each committed on its own, while the model's users go on working."""
        self._add_spell_columns(model_names)
        self.pool.init_models(
            self._cr, model_names,
            dict(self._context, update_custom_fields=True,
                 lumq_spell_compute_later=INTERNAL_SWITCH),
        )
        # those that embed a spell model (_inherits) read its spells
        stored = [self.env[name] for name in model_names if self._spell_stored_in(self.env[name])]
        self._set_spell_columns_drop_at([model._name for model in stored], None)
        if not stored:
            return False
        background = not self._spell_fits_request(stored)
        done = 0
        for model in stored:
            if not background:
                done += model._compute_all_spells()
            # the index after the computation: an index of the rows still to
            # compute would otherwise be updated with every row
            model._prepare_spell_table(index=not background)
            if not background:
                model._prepare_spell_option_indexes()
        self.env["lumq_spell.config"]._spell_computation_started(
            [model._name for model in stored], background, done)
        return background

    def _add_spell_columns(self, model_names):
        """Add the spell columns that the models' tables lack, as the ORM
        would add them.  Adding them here, before the ORM sets the tables
        up, keeps the ORM from reading the ids of all the records to mark
        their spells for computation while the tables are locked: the
        spells are computed below, in batches."""
        for name in model_names:
            model = self.env[name]
            if not (self._spell_stored_in(model) and sql.table_exists(self._cr, model._table)):
                continue
            for field_name in model._spell_stored_fields:
                if not sql.column_exists(self._cr, model._table, field_name):
                    field = model._fields[field_name]
                    sql.create_column(self._cr, model._table, field_name, field.column_type[1],
                                      field.string)

    def _build_spell_index_later(self, indexes):
        """Build the ``indexes`` (spell_sql.SpellIndex) of one table once this
        transaction is committed, without keeping the table's writers
        waiting: concurrently, which needs a connection outside any
        transaction, in a thread of its own, since a build waits for every
        older transaction (a cron job's own, a request's); then have the
        upkeep run again.  The indexes are built one after the other: a
        concurrent build waits for any other one on the same table.  A build
        cut short leaves an invalid index, which the next call builds anew."""
        dbname, registry = self._cr.dbname, self.pool
        indexes = [(index.name, index.definition) for index in indexes]

        def build():
            name = None
            try:
                with contextlib.closing(sql_db.db_connect(dbname).cursor()) as cr:
                    cr._cnx.autocommit = True
                    for name, definition in indexes:
                        if not spell_sql.build_index_concurrently(cr, name, definition):
                            # another builder is at work on it and has the
                            # upkeep run once it is done
                            return
                with registry.cursor() as cr:
                    api.Environment(cr, SUPERUSER_ID, {})["ir.model"]._trigger_spell_cron()
            except Exception:
                _logger.warning("The index %s was not built; the next run of the spells' upkeep "
                                "builds it.", name, exc_info=True)

        thread_name = "lumq_spell " + ", ".join(name for name, _definition in indexes)
        self._cr.postcommit.add(
            lambda: threading.Thread(target=build, name=thread_name, daemon=True).start())

    # the most records that enabling computes at once, while the tables stay
    # locked; beyond, they are computed in the background
    _spell_request_limit = 5000

    def _spell_fits_request(self, models_):
        """Whether the models' records are few enough to be computed at
        once; counted no further than that."""
        limit = self._spell_request_limit
        for model in models_:
            limit -= spell_sql.count_up_to(self._cr, model._table, limit)
            if limit < 0:
                return False
        return True

    def _trigger_spell_cron(self):
        """Have the upkeep job run as soon as this transaction is committed."""
        cron = self.env.ref("lumq_spell.ir_cron_spell_upkeep", raise_if_not_found=False)
        if cron:
            cron.sudo()._trigger()

    @api.model
    def _set_spell_columns_drop_at(self, model_names, drop_at):
        """Plan (or, with None, call off) the drop of the models' spell
        columns; bookkeeping of the addon's own, written as such."""
        if not model_names:
            return
        self.flush_model(["spell_columns_drop_at"])
        # rows that hold the value already are left alone
        self._cr.execute("UPDATE ir_model SET spell_columns_drop_at = %s WHERE model IN %s "
                         "AND spell_columns_drop_at IS DISTINCT FROM %s",
                         [drop_at, tuple(model_names), drop_at])
        self.invalidate_model(["spell_columns_drop_at"])

    @api.model
    def _spell_stored_in(self, model):
        """Whether the model's own table holds the spell columns."""
        field = model._fields.get("lumq_full_spell")
        return bool(field is not None and field.store and model._auto)

    def _drop_spell_storage(self, model_names):
        """Remove what the spell class left in the database of the models
        that no longer carry it: the spell columns, their ir.model.fields
        rows, and the reflected inheritance of the mixin with its XML ids.
        Nothing of the addon then stays behind a disabled model, also after
        the addon is uninstalled; the spells are derived data, computed anew
        when the model is enabled again."""
        names = [name for name in model_names if "lumq_full_spell" not in self.env[name]._fields]
        if not names:
            return
        for name in names:
            spell_sql.drop_stale_trigger(self._cr, self.env[name]._table)
        # Processes that still have the spells (a request in flight, a worker
        # that has not built its registry anew) write the spell columns: the
        # columns go only once they all have the new registry.
        drop_at = fields.Datetime.now() + datetime.timedelta(seconds=self._spell_drop_delay)
        self._set_spell_columns_drop_at(names, drop_at)
        if "ir.model.inherit" in self.env:
            # only the superuser may delete these rows
            self.env["ir.model.inherit"].sudo().search([
                ("model_id.model", "in", names),
                ("parent_id.model", "=", "lumq_spell.spell_mixin"),
            ]).unlink()

    # Seconds between disabling a model and dropping its spell columns: more
    # than a request may take (limit_time_real) before every worker of the
    # server builds its registry anew.
    _spell_drop_delay = 600

    @api.model
    def _drop_pending_spell_columns(self, now=None):
        """Drop the spell columns and field rows of the models disabled long
        enough ago (all of them, with ``now`` False: the addon is being
        uninstalled)."""
        domain = [("spell_columns_drop_at", "!=", False), ("is_spell_attached", "=", False)]
        if now is not False:
            domain.append(("spell_columns_drop_at", "<=", now or fields.Datetime.now()))
        rows = self.sudo().search(domain)
        if not rows:
            return
        spell_fields = [name for name in self.env["lumq_spell.spell_mixin"]._fields
                        if name.startswith("lumq_")]
        self.env["ir.model.fields"].sudo().search([
            ("model", "in", rows.mapped("model")), ("name", "in", spell_fields),
        ]).with_context(_force_unlink=True).unlink()
        self._set_spell_columns_drop_at(rows.mapped("model"), None)

    @api.model
    def _spell_cron(self):
        """The periodic upkeep of the spells: go on computing those of the
        models being enabled in the background, compute those that records
        lack (written by a process that did not have the spells), and drop
        the columns of models disabled long enough ago."""
        deadline = time.monotonic() + self._spell_cron_seconds
        left = self.env["lumq_spell.config"]._run_spell_sweeps(deadline)
        left |= self._compute_missing_spells(limit=self._spell_cron_limit)
        if left:
            # more to do: run again at once rather than at the next period
            self._trigger_spell_cron()
        self._drop_pending_spell_columns()
        sweeping = self.env["lumq_spell.config"]._spell_sweeping_models()
        for model in self._spell_tables():
            # an index of the pinyin order whose making failed is made again
            if model._name not in sweeping:
                model._prepare_spell_option_indexes()

    # records computed at most by one run of the periodic upkeep
    _spell_cron_limit = 100000
    # seconds that one run computes in the background at most: well within
    # the time a server gives a job (limit_time_cpu, limit_time_real)
    _spell_cron_seconds = 30

    def _add_manual_models(self):
        """Add extra models to the registry."""
        super(IrModelExtend, self)._add_manual_models()
        if self.pool._init_modules:
            self._add_spell_models()

    def _add_spell_models(self):
        """add spell models"""
        cr = self.env.cr
        flagged = self._read_spell_marks()
        self._detach_spell_models({model_data["model"] for model_data in flagged})
        for model_data in flagged:
            if model_data["model"] not in self.env:
                continue
            model_class = self._instanciate_spell(model_data)
            if model_class:
                model_class._build_model(self.pool, cr)

    def _read_spell_marks(self):
        """The ir_model rows marked for spell, as mappings of column name to
        value, read by SQL: nothing before the addon's table and the mark's
        column exist."""
        cr = self.env.cr
        if not (sql.table_exists(cr, "lumq_spell_config")
                and sql.column_exists(cr, "ir_model", "is_spell_attached")):
            return []
        cr.execute("SELECT * FROM ir_model WHERE is_spell_attached = true")
        return cr.dictfetchall()

    def _detach_spell_models(self, keep):
        """Take the spell class off every model of the registry that carries
        one and is not in ``keep``.

        Set-up keeps the classes of a registry class, so a model whose mark
        was removed or rolled back (a configuration deleted, an enabling that
        failed after the mark, a transaction rolled back) would otherwise go
        on carrying the spell fields, whose columns may not exist, until the
        server restarts.  Every set-up thus makes the models match the marks
        in the database: the next _prepare_setup gives the registry class its
        remaining classes back."""
        mixin_name = "lumq_spell.spell_mixin"
        if mixin_name not in self.pool:
            return
        mixin = self.pool[mixin_name]
        for model_name in list(mixin._inherit_children):
            if model_name in keep or model_name not in self.pool:
                continue
            model_class = self.pool[model_name]
            bases = model_class._BaseModel__base_classes
            spell_classes = [base for base in bases if base.__dict__.get("_lumq_spell_class")]
            if not spell_classes:
                continue
            bases = [base for base in bases if base not in spell_classes]
            # keep the mixin where a class of the model names it itself
            inherits = [base.__dict__.get("_inherit") or () for base in bases]
            if not any(mixin_name == inherit if isinstance(inherit, str) else mixin_name in inherit
                       for inherit in inherits):
                bases = [base for base in bases if base is not mixin]
                model_class._inherit_module.pop(mixin_name, None)
                mixin._inherit_children.discard(model_name)
            model_class._BaseModel__base_classes = tuple(bases)
            # what the mixin's set-up and _instanciate_spell put on the class
            for attr in ("_rec_names_search", *self._spell_class_values({})):
                if attr in model_class.__dict__:
                    delattr(model_class, attr)
            model_class._build_model_attributes(self.pool)

    @api.model
    def _instanciate_spell(self, model_data):
        """return a extended model auth_signup"""
        model_name = model_data["model"]
        if model_name not in self.env:
            return None
        model = self.env[model_name]
        # The registry class takes its classes only when it is prepared for
        # set-up; do it now so that the checks below and _module see the
        # classes of every addon loaded so far.
        model._prepare_setup()
        values = self._spell_class_values(model_data)
        if isinstance(model, self.pool["lumq_spell.spell_mixin"]):
            # The model carries its spell class already: keep it, and follow
            # a change of the configured source field in this registry.  The
            # model's _inherit would not tell: a class of an addon loaded
            # later, on top of the spell class, hides the spell class's one.
            for attr, value in values.items():
                setattr(type(model), attr, value)
            return None
        if not self._spell_can_store(model_name):
            return None

        # The mixin's set-up adds the spells to the model's name search.
        class CustomModel(models.Model):
            _name = model_name
            _inherit = ["lumq_spell.spell_mixin", model_name]
            _module = None
            _lumq_spell_class = True

        for attr, value in values.items():
            setattr(CustomModel, attr, value)
        # Keep the module that defines or last extended the model, so that
        # its XML id is reloaded when that module is updated; set after the
        # class statement so that the class is not collected for it.
        CustomModel._module = model._module
        return CustomModel

    @api.model
    def _spell_class_values(self, model_data):
        """The attributes of a model's spell class, by name, from the marks
        of its ir.model row (``model_data``; a mark is None before the
        addon's update adds its column)."""
        return {
            "_spell_rec_name": model_data.get("spell_field_name") or None,
            "_spell_search_as_typed": bool(model_data.get("spell_search_as_typed")),
            "_spell_pinyin_order": bool(model_data.get("spell_pinyin_order")),
            "_spell_fuzzy_pairs": spell_fuzzy.pairs_of(model_data.get("spell_fuzzy_pairs") or "")
            or False,
        }

    @api.model
    def _reflect_model_params(self, model):
        """The values of the model's ir.model row, as the model's own classes
        give them: its description (info) is the first doc text of its
        classes, and neither the spell class nor the spell mixin is one of
        them.  Enabling and disabling spell search thus leave the row as it
        is; a changed row would be written again with a lock on its key,
        which waits for every open transaction that inserts a row referring
        to the model (an attachment, a message)."""
        params = super(IrModelExtend, self)._reflect_model_params(model)
        mixin_name = "lumq_spell.spell_mixin"
        if model._name != mixin_name:
            params["info"] = next(
                (cls.__doc__ for cls in self.env.registry[model._name].mro()
                 if cls.__doc__ and not cls.__dict__.get("_lumq_spell_class")
                 and getattr(cls, "_name", None) != mixin_name),
                params["info"],
            )
        return params

    def _reflect_models(self, model_names):
        """Reflect the given models."""
        if not model_names:
            return
        rows = [
            self._reflect_model_params(self.env[model_name])
            for model_name in model_names
        ]
        cols = list(unique(["model"] + list(rows[0])))
        expected = [tuple(row[col] for col in cols) for row in rows]

        model_ids = {}
        existing = {}
        for row in select_en(self, ["id"] + cols, "model IN %s", [tuple(model_names)]):
            model_ids[row[1]] = row[0]
            existing[row[1]] = row[1:]

        rows = [row for row in expected if existing.get(row[0]) != row]
        if rows:
            ids = upsert_en(self, cols, rows, ["model"])
            for row, id_ in zip(rows, ids):
                model_ids[row[0]] = id_
            self.pool.post_init(mark_modified, self.browse(ids), cols[1:])

        module = self._context.get("module")
        if not module:
            return
        # A model gets an XML id in the module that defines or last extended
        # it, and in no other: an id in another module would hold the model,
        # its table and its row after that module's own uninstall.
        data_list = []
        for model_name, model_id in model_ids.items():
            model = self.env[model_name]
            if model._module == module:
                data_list.append({
                    "xml_id": model_xmlid(module, model_name),
                    "record": self.browse(model_id),
                })
        self.env["ir.model.data"]._update_xmlids(data_list)

    def _register_hook(self):
        super(IrModelExtend, self)._register_hook()
        self._unlink_stray_xmlids()
        self._add_missing_spell_columns()
        sweeping = self.env["lumq_spell.config"]._spell_sweeping_models()
        for model in self._spell_tables():
            # tables of models enabled by an earlier version, or whose
            # source field changed in another process; a table whose spells
            # are computed in the background gets its index afterwards
            model._prepare_spell_table(index=model._name not in sweeping)
            if model._name not in sweeping:
                model._prepare_spell_option_indexes()
        if "lumq_spell" in self.pool.updated_modules:
            self._mark_stale_first_spells()
        # a registry load stays short: what is left, the periodic upkeep does
        self._compute_missing_spells(limit=self._spell_cron_limit)

    def _spell_tables(self):
        """The enabled models whose own table holds the spell columns, as
        the database marks them (a model being enabled gets its columns
        after the set-up that reads this)."""
        models_ = []
        for model_data in self._read_spell_marks():
            model = self.env.get(model_data["model"])
            if (model is not None and self._spell_stored_in(model)
                    and sql.column_exists(self._cr, model._table, "lumq_full_spell")):
                models_.append(model)
        return models_

    def _mark_stale_first_spells(self):
        """Mark for computation the spells of records whose first spell is
        not a key of the letter bar (a letter A to Z or #): an earlier version
        upper-cased any first character.  Run when the addon is updated."""
        keys = tuple([chr(code) for code in range(ord("A"), ord("Z") + 1)] + ["#", ""])
        for model in self._spell_tables():
            self._cr.execute(
                f'UPDATE "{model._table}" SET lumq_full_spell = NULL '
                f"WHERE lumq_first_spell IS NOT NULL AND lumq_first_spell NOT IN %s", [keys])

    def _add_missing_spell_columns(self):
        """Add the spell columns that a model enabled by an earlier version of
        the addon lacks: a spell field added since (lumq_spell_variants).
        Updating the addon does not set up the tables of the models that the
        spell class extends; their records could not be read without it."""
        names = [model._name for model in self._spell_tables()
                 if not all(sql.column_exists(self._cr, model._table, name)
                            for name in model._spell_stored_fields)]
        if names:
            self._init_spell_models(names)

    def _compute_missing_spells(self, model_names=None, limit=None):
        """Compute the spells that records of enabled models lack: records
        created or changed by a process that did not have the spells (one
        whose registry predates the enabling, a script that never reloads),
        and records that other transactions committed while the model was
        being enabled.  At most ``limit`` records a model; returns whether
        some were left.

        Several processes may run this at once (workers that build their
        registry anew together): one computes a model's records and the
        others pass it by.  Nothing that goes wrong here is the caller's
        failure: the records stay to compute, and the next pass computes
        them."""
        left = False
        # the background computation goes through those tables anyway
        sweeping = self.env["lumq_spell.config"]._spell_sweeping_models()
        for model in self._spell_tables():
            if (model_names is not None and model._name not in model_names
                    or model._name in sweeping):
                continue
            try:
                with self._cr.savepoint(flush=False):
                    if not spell_sql.try_lock(self._cr, "lumq_spell.missing." + model._table):
                        continue
                    left |= model._compute_missing_spells(limit)
            except Exception as error:
                left = True
                # serialization_failure, deadlock_detected, lock_not_available
                if getattr(error, "pgcode", None) in ("40001", "40P01", "55P03"):
                    _logger.info("The missing spells of %s are being computed by another "
                                 "process.", model._name)
                else:
                    _logger.warning("The missing spells of %s were not computed; the next pass "
                                    "computes them.", model._name, exc_info=True)
        return left

    @classmethod
    def _compute_missing_spells_after_commit(cls, registry, model_names):
        """Compute the spells that the models' records lack, in a transaction
        of its own: called once the enabling is committed."""
        try:
            with registry.cursor() as cr:
                env = api.Environment(cr, SUPERUSER_ID, {})
                env["ir.model"]._compute_missing_spells(model_names)
        except Exception:
            _logger.warning("The spells of records committed during the enabling of %s were "
                            "not computed; the next pass computes them.",
                            ", ".join(model_names), exc_info=True)

    def _unlink_stray_xmlids(self):
        """Delete the XML ids that earlier versions gave, in whatever module
        was being loaded, to the models this addon defines or extends with a
        class of its own: an id of such a model in a module that has no class
        of it.  Every model inherits base, which this addon extends, but the
        classes of base belong to base alone: the ids of every other model,
        a manual model's included, belong to their own modules and stay.
        This runs once every module is loaded, when a model's classes are all
        known; with no stray id left it is one search."""
        names = {}
        for model_name, model_class in self.pool.items():
            modules = {
                cls._module for cls in model_class.mro()
                if models.is_definition_class(cls) and cls._name == model_name
                and cls._module and not cls.__dict__.get("_lumq_spell_class")
            }
            if "lumq_spell" in modules:
                names[model_xmlid("lumq_spell", model_name).split(".", 1)[1]] = modules
        stray = self.env["ir.model.data"].search([
            ("model", "=", "ir.model"), ("name", "in", list(names)),
        ]).filtered(lambda data: data.module not in names[data.name])
        stray.unlink()
