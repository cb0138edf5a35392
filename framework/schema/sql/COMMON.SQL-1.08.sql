alter table CLIENTE
  add DESATIVACAO_DATA date,
  add DESATIVACAO_PORID integer;
alter table CLIENTE
  add constraint FK_CLIENTE_USUARIO foreign key (DESATIVACAO_PORID) references USUARIO (ID) on update cascade;
create index IXC_USUARIO_LOG_01 on USUARIO_LOG (FORMNAME, TABLEID, DATA, HORA);
update VERSAO set NUMERO = '1.08' where ID = 1;
commit work;
